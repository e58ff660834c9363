#include "common/name_fold.h"

#include <cstddef>
#include <cstdint>

#include "common/text_bytes.h"

namespace {

// Pairs laid out as upper case at the even code point and lower case at the odd one after it.
bool LowerOfEvenPair(char32_t c) {
  return (c >= 0x100 && c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177);
}

// Pairs laid out as upper case at the odd code point and lower case at the even one after it.
bool LowerOfOddPair(char32_t c) {
  return ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 0;
}

char32_t UpperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (LowerOfEvenPair(c)) return c & ~char32_t{1};
  if (LowerOfOddPair(c)) return c - 1;
  // Greek: alpha to omega, final sigma as sigma; the vowels with tonos, whose capitals lie
  // apart.
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c >= 0x3CD && c <= 0x3CE) return c - 0x3F;
  // Cyrillic: a to ya, then the letters from ie with grave to dzhe.
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace

std::string FoldedName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    // Every letter folded here but ASCII is a two-byte sequence (U+0080 to U+07FF).
    std::uint32_t letter = 0;
    if (Utf8SequenceLength(name.substr(i), &letter) != 2) {
      const char32_t byte = static_cast<unsigned char>(name[i++]);
      out.push_back(static_cast<char>(byte < 0x80 ? UpperCase(byte) : byte));
      continue;
    }
    // Every upper case here is a two-byte letter too, so the name keeps its length.
    const char32_t upper = UpperCase(letter);
    out.push_back(static_cast<char>(0xC0 | (upper >> 6)));
    out.push_back(static_cast<char>(0x80 | (upper & 0x3F)));
    i += 2;
  }
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  return FoldedName(a) == FoldedName(b);
}

bool EndsWithName(std::string_view name, std::string_view end) {
  return name.size() >= end.size() && SameName(name.substr(name.size() - end.size()), end);
}
