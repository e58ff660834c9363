#include "output/output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <limits>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>

#include "output/line_folds.h"

namespace {

// How long a step may take before the test takes it for stalled: far more than it needs, far
// less than ctest's timeout.
constexpr auto kStalled = std::chrono::seconds(5);

// Runs step on a thread of its own and tells whether it ended within kStalled. If not, unstick
// is called (a stream that is not read opens) so that the step can end and the test fail; a step
// that still does not end ends the test program, which cannot leave it running on the test's
// objects.
bool EndsInTime(const std::function<void()>& step, const std::function<void()>& unstick) {
  std::promise<void> ended;
  std::future<void> done = ended.get_future();
  std::thread runner([&] {
    step();
    ended.set_value();
  });
  const bool inTime = done.wait_for(kStalled) == std::future_status::ready;
  if (!inTime) {
    unstick();
    if (done.wait_for(kStalled) != std::future_status::ready) {
      std::fprintf(stderr, "the output stalled for good\n");
      std::_Exit(1);
    }
  }
  runner.join();
  return inTime;
}

// A stream that nobody reads until Open: each write waits.
class StuckBuffer : public std::stringbuf {
 public:
  // Waits until the writer is inside a write; false when it is not within kStalled.
  bool WaitForWriter() {
    std::unique_lock<std::mutex> hold(lock_);
    return opened_.wait_for(hold, kStalled, [this] { return writing_; });
  }

  void Open() {
    std::lock_guard<std::mutex> hold(lock_);
    open_ = true;
    opened_.notify_all();
  }

 protected:
  std::streamsize xsputn(const char* bytes, std::streamsize count) override {
    std::unique_lock<std::mutex> hold(lock_);
    writing_ = true;
    opened_.notify_all();
    opened_.wait(hold, [this] { return open_; });
    return std::stringbuf::xsputn(bytes, count);
  }

 private:
  std::mutex lock_;
  std::condition_variable opened_;
  bool open_ = false;
  bool writing_ = false;
};

TEST(Output, NeverWaitsForAStreamThatIsNotReadAndCountsWhatItDrops) {
  StuckBuffer buffer;
  std::ostream stream(&buffer);
  const std::size_t most = 10;
  const bool inTime = EndsInTime(
      [&] {
        Output output(stream, most);
        // The writer takes the first line and waits in it; most more wait; the rest are dropped.
        output.Print('>', "line");
        EXPECT_TRUE(buffer.WaitForWriter()) << "the first line was never written";
        for (std::size_t i = 0; i < most + 25; ++i) output.Print('>', "line");
        buffer.Open();
      },
      [&] { buffer.Open(); });
  EXPECT_TRUE(inTime) << "printing waited for a stream that is not read";
  const std::string written = buffer.str();
  EXPECT_NE(written.find("! " + NotPrintedLine(25) + "\n"), std::string::npos) << written;
  std::size_t lines = 0;
  for (const char c : written) lines += c == '\n';
  EXPECT_EQ(lines, 1 + most + 1);
}

TEST(Output, ShowsEveryLineSafelyForATerminal) {
  std::ostringstream stream;
  EXPECT_TRUE(EndsInTime(
      [&] {
        Output output(stream);
        output.Print('!', "a\x1b[2J\xE2\x80\xAE\xE2\x80\x8B\xD8\x9C\xE2\x80\xA8\xC0z");
      },
      [] {}));
  EXPECT_NE(stream.str().find(
                " ! a\\x1b[2J\\xe2\\x80\\xae\\xe2\\x80\\x8b\\xd8\\x9c\\xe2\\x80\\xa8\\xc0z\n"),
            std::string::npos)
      << stream.str();
  EXPECT_EQ(NotPrintedLine(1), "1 line not printed: the output is not read");
  EXPECT_EQ(NotPrintedLine(2), "2 lines not printed: the output is not read");
}

TEST(PrintedLine, CountsWithACommaBetweenEachThreeDigits) {
  const std::pair<std::size_t, std::string> rows[] = {
      {0, "0"},
      {999, "999"},
      {1000, "1,000"},
      {999999, "999,999"},
      {1000000, "1,000,000"},
      {1234567, "1,234,567"},
  };
  for (const auto& [number, counted] : rows) EXPECT_EQ(Counted(number), counted);
  static_assert(sizeof(std::size_t) == 8, "the unit tests run on 64-bit systems");
  EXPECT_EQ(Counted(std::numeric_limits<std::size_t>::max()), "18,446,744,073,709,551,615");
}

TEST(PrintedLine, AnExcerptShowsTheStartOfALongTextAndTellsItsLength) {
  static_assert(kLongestExcerpt == 200, "the lengths below are written out");
  const std::string x199(199, 'x');
  const std::pair<std::string, std::string> rows[] = {
      {"", ""},
      {x199 + "x", x199 + "x"},
      {x199 + "xy", x199 + "x... (201 bytes)"},
      {x199 + "xyz", x199 + "x... (202 bytes)"},
      // A character that ends at the limit stays; one that it would cut is left out.
      {x199.substr(1) + "\xC3\xA9", x199.substr(1) + "\xC3\xA9"},
      {x199 + "\xC3\xA9", x199 + "... (201 bytes)"},
      {x199 + "x" + std::string(3899, 'y'), x199 + "x... (4,099 bytes)"},
      // Shown as any text from outside is: what would steer a terminal is written as \xNN.
      {"a\x1b[2J\xE2\x80\xAE\xC2\x9B\xFF\r\n", "a\\x1b[2J\\xe2\\x80\\xae\\xc2\\x9b\\xff\\x0d\\x0a"},
      {"\x1b" + x199 + "x", "\\x1b" + x199 + "... (201 bytes)"},
  };
  for (const auto& [text, excerpt] : rows) EXPECT_EQ(Excerpt(text), excerpt) << text.size();
}

TEST(FoldWindow, PrintsTheFirstFewOfASecondAndTellsEachCountOnce) {
  FoldWindow folds;
  const ServerClock::time_point start{};
  const auto fill = [&](ServerClock::time_point at) {
    for (std::size_t i = 0; i < kLinesBeforeFolding; ++i) EXPECT_TRUE(folds.Admit(at));
  };
  fill(start);
  EXPECT_FALSE(folds.Admit(start));
  EXPECT_FALSE(folds.Admit(start));
  EXPECT_EQ(folds.Due(start + kFoldWindow - std::chrono::milliseconds(1)), 0u);
  // A second that ended with a count untold goes on counting until the count is told.
  EXPECT_FALSE(folds.Admit(start + kFoldWindow));
  EXPECT_EQ(folds.Due(start + kFoldWindow), 3u);
  EXPECT_EQ(folds.Due(start + kFoldWindow), 0u);
  // Told, the count starts again from nothing.
  const ServerClock::time_point next = start + kFoldWindow;
  fill(next);
  EXPECT_FALSE(folds.Admit(next));
  EXPECT_EQ(folds.Due(next + kFoldWindow), 1u);
  // A connection's own window that ends tells its count once.
  FoldWindow window;
  for (std::size_t i = 0; i < kLinesBeforeFolding; ++i) EXPECT_TRUE(window.Admit(next));
  EXPECT_FALSE(window.Admit(next));
  EXPECT_EQ(window.Forget(), 1u);
  EXPECT_EQ(window.Forget(), 0u);
  EXPECT_TRUE(window.Idle());
}

}  // namespace
