#include "report_text.h"

#include <cstdint>

namespace {

// The upper case of a letter, by the simple one-to-one mappings. Letters whose upper case is
// ASCII (dotless i, long s) or has no simple form (sharp s) are left alone.
char32_t UpperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  const bool evenUpper = (c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177);
  if (evenUpper) return c & ~char32_t{1};
  const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
  if (oddUpper && c % 2 == 0) return c - 1;
  return c;
}

// Decodes the two-byte sequences that Latin-1 and Latin Extended-A letters take (U+0080 to
// U+07FF); returns 0 when text does not start with one.
char32_t TwoByteLetter(std::string_view text) {
  if (text.size() < 2) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  const auto next = static_cast<unsigned char>(text[1]);
  if (lead < 0xC2 || lead > 0xDF || (next & 0xC0) != 0x80) return 0;
  return (char32_t{lead} & 0x1F) << 6 | (char32_t{next} & 0x3F);
}

}  // namespace

std::string CaseFolded(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size();) {
    const char32_t letter = TwoByteLetter(name.substr(i));
    if (letter == 0) {
      const char32_t byte = static_cast<unsigned char>(name[i++]);
      out.push_back(static_cast<char>(byte < 0x80 ? UpperCase(byte) : byte));
      continue;
    }
    const char32_t upper = UpperCase(letter);
    out.push_back(static_cast<char>(0xC0 | (upper >> 6)));
    out.push_back(static_cast<char>(0x80 | (upper & 0x3F)));
    i += 2;
  }
  return out;
}
