#include "common/text_bytes.h"

#include <cstdio>

namespace {

bool IsContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The bytes of the UTF-8 sequence at the start of text that a terminal obeys as a control: a C1
// control (C2 80 to C2 9F) or a bidirectional control (U+200E, U+200F: E2 80 8E, E2 80 8F;
// U+202A to U+202E: E2 80 AA to E2 80 AE; U+2066 to U+2069: E2 81 A6 to E2 81 A9). 0 for none.
std::size_t SteeringSequenceLength(std::string_view text) {
  const auto byteAt = [&text](std::size_t i) -> unsigned {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
  };
  if (byteAt(0) == 0xC2 && byteAt(1) >= 0x80 && byteAt(1) <= 0x9F) return 2;
  if (byteAt(0) != 0xE2) return 0;
  const unsigned last = byteAt(2);
  const bool bidi =
      (byteAt(1) == 0x80 && (last == 0x8E || last == 0x8F || (last >= 0xAA && last <= 0xAE))) ||
      (byteAt(1) == 0x81 && last >= 0xA6 && last <= 0xA9);
  return bidi ? 3 : 0;
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

std::string EscapedBytes(std::string_view text, EscapeSet set) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t steering =
        set == EscapeSet::kControlsC1AndBidi ? SteeringSequenceLength(text.substr(i)) : 0;
    for (const std::size_t end = i + steering; i < end; ++i) {
      AppendEscaped(out, static_cast<unsigned char>(text[i]));
    }
    if (steering > 0) continue;
    const auto byte = static_cast<unsigned char>(text[i++]);
    const bool control = byte < 0x20 || byte == 0x7F;
    if (control || (set == EscapeSet::kControlsAndNonAscii && byte >= 0x80)) {
      AppendEscaped(out, byte);
    } else {
      out.push_back(static_cast<char>(byte));
    }
  }
  return out;
}
