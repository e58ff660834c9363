#include "programs/text.h"

#include <cctype>
#include <cstddef>

#include "common/text_bytes.h"

namespace {

// Bounds what a hostile line can add to an error message.
constexpr std::size_t kLongestExcerpt = 200;

}  // namespace

std::string Excerpt(std::string_view text) {
  const std::string_view start = CutAtUtf8Boundary(text, kLongestExcerpt);
  return EscapedBytes(start) + (start.size() < text.size() ? "..." : "");
}

std::string Lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view WithoutTrailingDots(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}
