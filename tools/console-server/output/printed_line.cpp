#include "output/printed_line.h"

#include "common/text_bytes.h"

std::string Shown(std::string_view text) {
  return EscapedBytes(text, EscapeSet::kControlsC1AndBidi);
}

std::string Excerpt(std::string_view text) {
  const std::string_view start = CutAtUtf8Boundary(text, kLongestExcerpt);
  if (start.size() == text.size()) return Shown(text);
  return Shown(start) + "... (" + Counted(text.size()) + " bytes)";
}

std::string Counted(std::size_t number) {
  std::string digits = std::to_string(number);
  for (std::size_t comma = digits.size(); comma > 3; comma -= 3) digits.insert(comma - 3, ",");
  return digits;
}
