#include "text.h"

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
