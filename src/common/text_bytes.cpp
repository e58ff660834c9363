#include "common/text_bytes.h"

#include <cstdio>

namespace {

bool IsContinuationByte(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
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
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool control = byte < 0x20 || byte == 0x7F;
    // A C1 control is the two bytes C2 80 to C2 9F.
    const bool c1Start = set == EscapeSet::kControlsAndC1 && byte == 0xC2 && i + 1 < text.size() &&
                         static_cast<unsigned char>(text[i + 1]) <= 0x9F &&
                         IsContinuationByte(static_cast<unsigned char>(text[i + 1]));
    if (c1Start) {
      AppendEscaped(out, byte);
      AppendEscaped(out, static_cast<unsigned char>(text[++i]));
    } else if (control || (set == EscapeSet::kControlsAndNonAscii && byte >= 0x80)) {
      AppendEscaped(out, byte);
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}
