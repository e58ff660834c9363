#include "text.h"

#include <cstdio>

namespace {

// Bounds what a hostile line can add to an error message.
constexpr std::size_t kLongestExcerpt = 200;

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

std::string_view CutAtUtf8Boundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  // Back up over the continuation bytes of a sequence that the cut would split (at most three:
  // more would be no UTF-8 anyway).
  while (end > 0 && limit - end < 3 && IsContinuationByte(text[end])) --end;
  return text.substr(0, end);
}

std::string Excerpt(std::string_view text) {
  const std::string_view start = CutAtUtf8Boundary(text, kLongestExcerpt);
  return Printable(start) + (start.size() < text.size() ? "..." : "");
}
