#include "output/output.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>

#include "output/line_folds.h"

namespace {

// A stream that nobody reads until Open: each write waits.
class StuckBuffer : public std::stringbuf {
 public:
  // Waits until the writer is inside a write.
  void WaitForWriter() {
    std::unique_lock<std::mutex> hold(lock_);
    opened_.wait(hold, [this] { return writing_; });
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
  {
    Output output(stream, most);
    // The writer takes the first line and waits in it; most more wait; the rest are dropped.
    output.Print('>', "line");
    buffer.WaitForWriter();
    for (std::size_t i = 0; i < most + 25; ++i) output.Print('>', "line");
    buffer.Open();
  }
  const std::string written = buffer.str();
  EXPECT_NE(written.find("! " + NotPrintedLine(25) + "\n"), std::string::npos) << written;
  std::size_t lines = 0;
  for (const char c : written) lines += c == '\n';
  EXPECT_EQ(lines, 1 + most + 1);
}

TEST(Output, ShowsEveryLineSafelyForATerminal) {
  std::ostringstream stream;
  {
    Output output(stream);
    output.Print('!', "a\x1b[2J\xE2\x80\xAE\xE2\x80\x8B\xD8\x9C\xE2\x80\xA8\xC0z");
  }
  EXPECT_NE(stream.str().find(
                " ! a\\x1b[2J\\xe2\\x80\\xae\\xe2\\x80\\x8b\\xd8\\x9c\\xe2\\x80\\xa8\\xc0z\n"),
            std::string::npos)
      << stream.str();
  EXPECT_EQ(NotPrintedLine(1), "1 line not printed: the output is not read");
  EXPECT_EQ(NotPrintedLine(1234), "1,234 lines not printed: the output is not read");
}

TEST(LineFolds, PrintsTheFirstFewOfASecondAndCountsTheRest) {
  LineFolds folds;
  const ServerClock::time_point start{};
  for (std::size_t i = 0; i < kLinesBeforeFolding; ++i) EXPECT_TRUE(folds.Admit("a", start));
  EXPECT_FALSE(folds.Admit("a", start));
  EXPECT_TRUE(folds.Admit("b", start));
  EXPECT_TRUE(folds.Due(start + kFoldWindow - std::chrono::milliseconds(1)).empty());
  EXPECT_EQ(folds.Due(start + kFoldWindow), (std::vector<FoldedCount>{{"a", 1}}));
  EXPECT_TRUE(folds.Admit("a", start + kFoldWindow));
}

}  // namespace
