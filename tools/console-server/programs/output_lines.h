// A program's output cut into the chat lines that go out: at most kMostLinesPerRun, each at most
// the longest text a message carries, cut at a character. The last line that may go waits for the
// next one: when more follow, it tells the chat how many were not shown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kMostLinesPerRun = 20;

class OutputLines {
 public:
  explicit OutputLines(std::size_t longestLine) : longest_(longestLine) {}

  // The lines that this piece of output ends, to go out now.
  std::vector<std::string> Add(std::string_view bytes);

  // The lines left once the program ended: the last one, with how many were not shown.
  std::vector<std::string> Finish();

  // Lines the program printed past the last that went out.
  std::size_t Dropped() const { return dropped_; }
  bool Empty() const { return counted_ == 0; }

 private:
  void EndLine(std::vector<std::string>& out);

  std::size_t longest_;
  std::string line_;
  std::string last_;
  std::size_t counted_ = 0;
  std::size_t dropped_ = 0;
};
