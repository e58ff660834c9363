#include "common/cut_reason.h"

#include <gtest/gtest.h>

#include <string>

#include "common/text_bytes.h"

namespace {

TEST(CutReason, KeepsAShortReasonAsItIs) {
  EXPECT_EQ(CutReason(""), "");
  EXPECT_EQ(CutReason("parse error"), "parse error");
  const std::string fits(kMaxReasonBytes, 'x');
  EXPECT_EQ(CutReason(fits), fits);
}

TEST(CutReason, CutsALongReasonWithAMarker) {
  const std::string reason = std::string(kMaxReasonBytes, 'a') + std::string(16 << 20, ' ');
  const std::string cut = CutReason(reason);
  EXPECT_EQ(cut, std::string(kMaxReasonBytes, 'a') + "... [cut, " + std::to_string(reason.size()) +
                     " bytes in all]");
  EXPECT_EQ(CutReason(std::string(kMaxReasonBytes + 1, 'b')),
            std::string(kMaxReasonBytes, 'b') + "... [cut, 301 bytes in all]");
}

TEST(CutAtUtf8Boundary, LooksNoFurtherThanTheTextAtItsLimit) {
  // The byte after a text of exactly the limit is none of its own, though it continues a sequence.
  const std::string bytes = "ab\xc3\xa9";
  EXPECT_EQ(CutAtUtf8Boundary(std::string_view(bytes).substr(0, 3), 3), "ab\xc3");
  EXPECT_EQ(CutAtUtf8Boundary(bytes, 3), "ab");
}

}  // namespace
