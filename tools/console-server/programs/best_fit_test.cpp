#include "programs/best_fit.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "programs/run_program_shared.h"

namespace {

// Every character that a best-fit table turns into '"', '\' or a space, written out.
const std::map<wchar_t, wchar_t> kWrittenOut = [] {
  const struct {
    std::wstring lookalikes;
    wchar_t becomes;
  } groups[] = {
      // Fullwidth and typographic quotes, double primes, modifier letters, combining marks, the
      // ditto mark and the ideographic quotes.
      {L"\xFF02\x201C\x201D\x201E\x201F\x2033\x2036\x02BA\x02DD\x02EE\x030B\x030E\x3003\x301D"
       L"\x301E\x301F",
       L'"'},
      // Fullwidth and small reverse solidus, set minus, reverse solidus operator, the yen and won
      // signs and their fullwidth forms.
      {L"\xFF3C\xFE68\x2216\x29F5\x00A5\x20A9\xFFE5\xFFE6", L'\\'},
      // En quad to hair space, the narrow and medium spaces and the ideographic space.
      {L"\x2000\x2001\x2002\x2003\x2004\x2005\x2006\x2007\x2008\x2009\x200A\x202F\x205F\x3000",
       L' '},
  };
  std::map<wchar_t, wchar_t> all;
  for (const auto& group : groups) {
    for (const wchar_t lookalike : group.lookalikes) all[lookalike] = group.becomes;
  }
  return all;
}();

TEST(BestFit, EachLookalikeWrittenOutBecomesWhatItWouldAndIsQuotedSo) {
  for (const auto& [lookalike, becomes] : kWrittenOut) {
    SCOPED_TRACE(static_cast<unsigned>(lookalike));
    const std::wstring argument = std::wstring(L"a") + lookalike + L"b c";
    const std::wstring replaced = std::wstring(L"a") + becomes + L"b c";
    EXPECT_EQ(WithoutBestFitLookalikes(argument), replaced);
    EXPECT_EQ(QuotedArgument(argument), QuotedArgument(replaced));
  }
  // The fullwidth quote, which an ANSI program's runtime would read as a quote that ends the word.
  EXPECT_EQ(QuotedArgument(L"x\xFF02 y"), L"\"x\\\" y\"");
  // Beside each range, characters stay as they are.
  EXPECT_EQ(WithoutBestFitLookalikes(L"\x1FFF\x200B\x2034\x3001\xFF01\xFF03"),
            L"\x1FFF\x200B\x2034\x3001\xFF01\xFF03");
}

TEST(BestFit, TheTableHoldsNoRowThatIsNotWrittenOut) {
  ASSERT_EQ(kBestFitLookalikeCount, kWrittenOut.size());
  for (std::size_t i = 0; i < kBestFitLookalikeCount; ++i) {
    const BestFitLookalike& row = kBestFitLookalikes[i];
    const auto written = kWrittenOut.find(row.lookalike);
    ASSERT_NE(written, kWrittenOut.end()) << static_cast<unsigned>(row.lookalike);
    EXPECT_EQ(row.becomes, written->second) << static_cast<unsigned>(row.lookalike);
  }
}

}  // namespace
