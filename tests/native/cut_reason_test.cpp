#include "common/cut_reason.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
