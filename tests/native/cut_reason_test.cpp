#include "common/cut_reason.h"

#include <gtest/gtest.h>

#include <cstdint>
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

TEST(Utf8SequenceLength, TakesEachLengthFromItsFirstToItsLastCodePointAndNothingPast) {
  struct Row {
    std::string bytes;
    std::size_t length;   // 0: no whole, shortest, valid sequence
    std::uint32_t point;  // when length is not 0
  };
  const Row rows[] = {
      {std::string(1, '\0'), 1, 0x0},
      {"\x7F", 1, 0x7F},
      {"\xC1\xBF", 0, 0},  // U+007F in two bytes
      {"\xC2\x80", 2, 0x80},
      {"\xDF\xBF", 2, 0x7FF},
      {"\xE0\x9F\xBF", 0, 0},  // U+07FF in three bytes
      {"\xE0\xA0\x80", 3, 0x800},
      {"\xED\x9F\xBF", 3, 0xD7FF},
      {"\xED\xA0\x80", 0, 0},  // the surrogates, first and last
      {"\xED\xBF\xBF", 0, 0},
      {"\xEE\x80\x80", 3, 0xE000},
      {"\xEF\xBF\xBF", 3, 0xFFFF},
      {"\xF0\x8F\xBF\xBF", 0, 0},  // U+FFFF in four bytes
      {"\xF0\x90\x80\x80", 4, 0x10000},
      {"\xF4\x8F\xBF\xBF", 4, 0x10FFFF},
      {"\xF4\x90\x80\x80", 0, 0},  // past the last code point
      {"\xF5\x80\x80\x80", 0, 0},
      {"\x80", 0, 0},  // a continuation byte first
      {"\xC3", 0, 0},  // the text ends inside the sequence
      {"\xE2\x80", 0, 0},
      {"\xC3\x41", 0, 0},  // a byte that does not continue it
      {"\xF0\x90\x80\x41", 0, 0},
      {"", 0, 0},
      {"\xC3\xA9z", 2, 0xE9},  // only the first sequence counts
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(EscapedBytes(row.bytes));
    std::uint32_t point = 0xFFFFFFFF;
    EXPECT_EQ(Utf8SequenceLength(row.bytes, &point), row.length);
    if (row.length != 0) {
      EXPECT_EQ(point, row.point);
    }
  }
}

}  // namespace
