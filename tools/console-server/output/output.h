// console-server's output: each line stamped with the time and handed to a thread of its own that
// writes it, so that printing never waits for whoever reads the output. When nobody reads it (a
// terminal paused with Ctrl-S, a pipe that is not read), at most kMostWaitingLines wait; the
// lines after them are dropped and counted, and the count is printed once the output moves again.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <thread>

#include "output/printed_line.h"

constexpr std::size_t kMostWaitingLines = 1000;

class Output {
 public:
  explicit Output(std::ostream& stream, std::size_t mostWaiting = kMostWaitingLines);
  // Waits until the lines that wait are written.
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // "12:04:31.207 > kick bob"; never waits for the stream.
  void Print(char mark, std::string_view text);
  void Print(const PrintedLine& line) { Print(line.mark, line.text); }

 private:
  void WriteLines();

  std::ostream& stream_;
  const std::size_t mostWaiting_;
  std::mutex lock_;
  std::condition_variable waiting_;
  std::deque<std::string> lines_;
  std::size_t dropped_ = 0;
  bool stopping_ = false;
  std::thread writer_;
};

// The line that tells how many lines were dropped.
std::string NotPrintedLine(std::size_t dropped);
