// Writing into the loader's line object: only through a layout that is the expected one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fake_host.h"
#include "fake_line_layout.h"
#include "host/log.h"
#include "host/log_line.h"
#include "host/log_reserve.h"

namespace {

using namespace fake_line;

struct LineObject {
  alignas(kAlignment) unsigned char bytes[kSize] = {};
  LineObject() { BuildFakeLogLine(bytes, loader::INFO); }
  ~LineObject() { DestroyFakeLogLine(bytes); }
  const std::string& text() const { return FakeLogLineText(bytes); }
  template <typename T>
  void Put(std::size_t offset, T value) {
    std::memcpy(bytes + offset, &value, sizeof value);
  }
};

TEST(LogLineLayout, WritesEveryByteThroughTheStreamBuffer) {
  LineObject line;
  WriteLogLineBytes(line.bytes, "abc");
  WriteLogLineBytes(line.bytes, std::string_view("\x80\xff\0z", 4));
  EXPECT_EQ(line.text(), std::string("abc\x80\xff\0z", 7));
  EXPECT_EQ(LogLineLevel(line.bytes), loader::INFO);
}

TEST(LogLineLayout, WritesNothingIntoAnUnexpectedLayout) {
  const std::int32_t otherIstreamVbtable[2] = {0, kIstreamToBasicIos + 8};
  const std::int32_t otherOstreamVbtable[2] = {0, kOstreamToBasicIos - 8};
  static void* const emptyVtable[kBufferVtableSlots] = {};
  unsigned char elsewhere[8];
  const struct {
    const char* what;
    void (*breakIt)(LineObject&, const void* istream, const void* ostream, void* const* vtable,
                    void* buffer);
  } cases[] = {
      {"buffer pointer elsewhere", [](LineObject& l, const void*, const void*, void* const*,
                                      void* buffer) { l.Put(kBufferAt, buffer); }},
      {"no buffer pointer", [](LineObject& l, const void*, const void*, void* const*,
                               void*) { l.Put(kBufferAt, static_cast<void*>(nullptr)); }},
      {"bad stream", [](LineObject& l, const void*, const void*, void* const*,
                        void*) { l.Put(kStateAt, kBadState); }},
      {"istream vbtable", [](LineObject& l, const void* istream, const void*, void* const*,
                             void*) { l.Put(kIstreamVbtableAt, istream); }},
      {"ostream vbtable", [](LineObject& l, const void*, const void* ostream, void* const*,
                             void*) { l.Put(kOstreamVbtableAt, ostream); }},
      {"no vbtable", [](LineObject& l, const void*, const void*, void* const*,
                        void*) { l.Put(kIstreamVbtableAt, static_cast<void*>(nullptr)); }},
      {"no xsputn", [](LineObject& l, const void*, const void*, void* const* vtable,
                       void*) { l.Put(kBufferVtableAt, vtable); }},
  };
  for (const auto& broken : cases) {
    SCOPED_TRACE(broken.what);
    LineObject line;
    broken.breakIt(line, otherIstreamVbtable, otherOstreamVbtable, emptyVtable, elsewhere);
    EXPECT_EQ(LogLineStreamBuffer(line.bytes), nullptr);
    WriteLogLineBytes(line.bytes, "text");
    EXPECT_EQ(line.text(), "");
  }
}

TEST(LogLineLayout, ALineThatTheLoaderDidNotFillGetsNothing) {
  alignas(kAlignment) unsigned char zeroed[kSize] = {};
  EXPECT_EQ(LogLineStreamBuffer(zeroed), nullptr);
  WriteLogLineBytes(zeroed, "text");  // must not follow any pointer
}

// A stream buffer that takes only two bytes of whatever it is given.
std::int64_t TakeTwo(void*, const char*, std::int64_t) {
  return 2;
}

TEST(LogLineLayout, AShortWriteMarksTheStreamBadAndStopsLaterPieces) {
  LineObject line;
  void* vtable[kBufferVtableSlots] = {};
  vtable[kXsputnSlot] = reinterpret_cast<void*>(&TakeTwo);
  line.Put(kBufferVtableAt, static_cast<void* const*>(vtable));
  EXPECT_NE(LogLineStreamBuffer(line.bytes), nullptr);
  WriteLogLineBytes(line.bytes, "four");
  EXPECT_EQ(LogLineStreamBuffer(line.bytes), nullptr);
}

TEST(LogPieces, EndAtTheirFirstZeroByte) {
  EXPECT_EQ(LogPieceBytes("abc"), "abc");
  EXPECT_EQ(LogPieceBytes(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(LogPieceBytes(std::string_view("")), "");
}

TEST(Log, TestsTheLevelBeforeEachPiece) {
  FakeGame game;
  ResetFakeHost(game);
  Log(loader::INFO, "one", std::string(" two"));
  loader::MinLogLevel = loader::ERR;
  Log(loader::INFO, "hidden");
  Log(loader::ERR, "shown");
  ASSERT_EQ(LoggedLines.size(), 3u);
  EXPECT_EQ(LoggedLines[0], (LoggedLine{loader::INFO, "one two"}));
  EXPECT_EQ(LoggedLines[1], (LoggedLine{loader::INFO, ""}));
  EXPECT_EQ(LoggedLines[2], (LoggedLine{loader::ERR, "shown"}));
}

TEST(Log, GivesALargerLineObjectRoomAndStopsForOneTooLargeForIt) {
  FakeGame game;
  ResetFakeHost(game);
  // A loader whose object has a kilobyte of members after the level gets every line.
  FakeLogLineExtraBytes = 1024;
  Log(loader::INFO, "one");
  FakeLogLineExtraBytes = kLogLineReserveBytes - kSize - kLogLineCanaryBytes;
  Log(loader::INFO, "two");
  EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{"one", "two"}));

  // One byte more reaches the reserve's end: that line says why, and no line is started again.
  FakeLogLineExtraBytes += 1;
  Log(loader::INFO, "three");
  Log(loader::INFO, "four");
  EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{"one", "two", kLogLineTooLarge}));
  EXPECT_EQ(FakeLogLinesBuilt, 3u);

  // Up to the whole region, the object is as harmless: the same last line, then silence.
  for (const std::size_t objectBytes : {std::size_t{8192}, kLogLineRegionBytes}) {
    ResetFakeHost(game);
    FakeLogLineExtraBytes = objectBytes - kSize;
    Log(loader::INFO, "one");
    Log(loader::INFO, "two");
    EXPECT_EQ(LoggedTexts(), (std::vector<std::string>{kLogLineTooLarge}));
  }
}

}  // namespace
