#include "output/output.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>

namespace {

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif  // _WIN32
  return local;
}

std::string Stamped(char mark, std::string_view text) {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::tm local = LocalTime(system_clock::to_time_t(now));
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  char stamp[20];
  std::snprintf(stamp, sizeof(stamp), "%02d:%02d:%02d.%03d %c ", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms), mark);
  return stamp + std::string(text) + '\n';
}

}  // namespace

std::string NotPrintedLine(std::size_t dropped) {
  return Counted(dropped) + (dropped == 1 ? " line" : " lines") +
         " not printed: the output is not read";
}

Output::Output(std::ostream& stream, std::size_t mostWaiting)
    : stream_(stream), mostWaiting_(mostWaiting), writer_([this] { WriteLines(); }) {}

Output::~Output() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  waiting_.notify_one();
  writer_.join();
}

void Output::Print(char mark, std::string_view text) {
  // Whatever the text holds, it cannot steer the terminal.
  std::string line = Stamped(mark, Shown(text));
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (lines_.size() >= mostWaiting_) {
      ++dropped_;
      return;
    }
    lines_.push_back(std::move(line));
  }
  waiting_.notify_one();
}

void Output::WriteLines() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    waiting_.wait(hold, [this] { return stopping_ || !lines_.empty(); });
    if (lines_.empty()) return;
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    // Once the output moves again, after the lines that waited.
    if (lines_.empty() && dropped_ > 0) {
      lines_.push_back(Stamped('!', NotPrintedLine(dropped_)));
      dropped_ = 0;
    }
    hold.unlock();
    stream_ << line << std::flush;
    hold.lock();
  }
}
