#include "common/text_bytes.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

bool IsContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Whether the code point is one that a terminal obeys or that hides or reorders text: a C1
// control (U+0080 to U+009F), the Arabic letter mark (U+061C), the zero width space (U+200B), the
// bidirectional marks and controls (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) and the
// line and paragraph separators (U+2028, U+2029).
bool IsSteering(std::uint32_t point) {
  return (point >= 0x80 && point <= 0x9F) || point == 0x061C || point == 0x200B ||
         point == 0x200E || point == 0x200F || point == 0x2028 || point == 0x2029 ||
         (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

void AppendEscaped(std::string& out, unsigned char byte) {
  char escaped[5];
  std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
  out += escaped;
}

}  // namespace

std::string_view CutAtUtf8Boundary(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  // Back up over the continuation bytes of a sequence that the cut would split (at most three:
  // more would be no UTF-8 anyway).
  while (end > 0 && limit - end < 3 && IsContinuationByte(static_cast<unsigned char>(text[end]))) {
    --end;
  }
  return text.substr(0, end);
}

std::size_t Utf8SequenceLength(std::string_view text, std::uint32_t* codePoint) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || length > text.size()) return 0;
  std::uint32_t point = length == 1 ? lead : lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[k]);
    if (!IsContinuationByte(next)) return 0;
    point = (point << 6) | (next & 0x3Fu);
  }
  constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kLeast[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return 0;
  if (codePoint != nullptr) *codePoint = point;
  return length;
}

std::string EscapedBytes(std::string_view text, EscapeSet set) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool control = byte < 0x20 || byte == 0x7F;
    if (byte < 0x80 || set != EscapeSet::kControlsC1AndBidi) {
      if (control || (set == EscapeSet::kControlsAndNonAscii && byte >= 0x80)) {
        AppendEscaped(out, byte);
      } else {
        out.push_back(static_cast<char>(byte));
      }
      ++i;
      continue;
    }
    // A byte of no UTF-8 sequence is escaped alone; a steering code point whole.
    std::uint32_t point = 0;
    const std::size_t length = Utf8SequenceLength(text.substr(i), &point);
    if (length == 0 || IsSteering(point)) {
      for (const std::size_t end = i + std::max<std::size_t>(length, 1); i < end; ++i) {
        AppendEscaped(out, static_cast<unsigned char>(text[i]));
      }
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

TextEncoding EncodingOf(std::string_view text) {
  if (StartsWith(text, "\xFF\xFE") || StartsWith(text, "\xFE\xFF")) {
    return TextEncoding::kUtf16WithByteOrderMark;
  }
  // Without a byte-order mark: a help or rule file starts with ASCII (or Latin-1 letters), so in
  // UTF-16 every other byte of its start is zero (the second of each pair in little-endian order,
  // the first in big-endian), and the others are not.
  constexpr std::size_t kBytesLookedAt = 16;
  const std::string_view start =
      text.substr(0, std::min(text.size(), kBytesLookedAt) & ~std::size_t{1});
  if (start.empty()) return TextEncoding::kUtf8;
  bool littleEndian = true;
  bool bigEndian = true;
  for (std::size_t i = 0; i < start.size(); i += 2) {
    littleEndian = littleEndian && start[i] != '\0' && start[i + 1] == '\0';
    bigEndian = bigEndian && start[i] == '\0' && start[i + 1] != '\0';
  }
  return littleEndian || bigEndian ? TextEncoding::kUtf16WithoutByteOrderMark : TextEncoding::kUtf8;
}
