#include "programs/best_fit.h"

#include <algorithm>
#include <iterator>

const BestFitLookalike kBestFitLookalikes[] = {
    // To '"': fullwidth and typographic quotes, double primes, the ditto mark.
    {L'\xFF02', L'"'},
    {L'\x201C', L'"'},
    {L'\x201D', L'"'},
    {L'\x201E', L'"'},
    {L'\x201F', L'"'},
    {L'\x2033', L'"'},
    {L'\x2036', L'"'},
    {L'\x02BA', L'"'},
    {L'\x02DD', L'"'},
    {L'\x02EE', L'"'},
    {L'\x030B', L'"'},
    {L'\x030E', L'"'},
    {L'\x3003', L'"'},
    {L'\x301D', L'"'},
    {L'\x301E', L'"'},
    {L'\x301F', L'"'},
    // To '\': fullwidth and small reverse solidus, set minus, and the yen and won signs, which
    // the Japanese and Korean code pages hold at the byte of '\'.
    {L'\xFF3C', L'\\'},
    {L'\xFE68', L'\\'},
    {L'\x2216', L'\\'},
    {L'\x29F5', L'\\'},
    {L'\x00A5', L'\\'},
    {L'\x20A9', L'\\'},
    {L'\xFFE5', L'\\'},
    {L'\xFFE6', L'\\'},
    // To ' ': the typographic spaces and the ideographic space.
    {L'\x2000', L' '},
    {L'\x2001', L' '},
    {L'\x2002', L' '},
    {L'\x2003', L' '},
    {L'\x2004', L' '},
    {L'\x2005', L' '},
    {L'\x2006', L' '},
    {L'\x2007', L' '},
    {L'\x2008', L' '},
    {L'\x2009', L' '},
    {L'\x200A', L' '},
    {L'\x202F', L' '},
    {L'\x205F', L' '},
    {L'\x3000', L' '},
};
const std::size_t kBestFitLookalikeCount = std::size(kBestFitLookalikes);

std::wstring WithoutBestFitLookalikes(std::wstring_view argument) {
  std::wstring out(argument);
  for (wchar_t& c : out) {
    const auto found =
        std::find_if(std::begin(kBestFitLookalikes), std::end(kBestFitLookalikes),
                     [&](const BestFitLookalike& entry) { return entry.lookalike == c; });
    if (found != std::end(kBestFitLookalikes)) c = found->becomes;
  }
  return out;
}
