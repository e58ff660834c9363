#include "programs/output_lines.h"

#include <algorithm>

#include "common/text_bytes.h"

std::vector<std::string> OutputLines::Add(std::string_view bytes) {
  std::vector<std::string> out;
  for (const char c : bytes) {
    if (c == '\n') {
      EndLine(out);
    } else if (line_.size() <= longest_) {
      // One byte past the longest text tells the cut where a UTF-8 sequence goes on.
      line_ += c;
    }
  }
  return out;
}

std::vector<std::string> OutputLines::Finish() {
  std::vector<std::string> out;
  EndLine(out);
  if (counted_ < kMostLinesPerRun) return out;
  if (dropped_ == 0) {
    out.emplace_back(CutAtUtf8Boundary(last_, longest_));
    return out;
  }
  const std::string note = " [" + std::to_string(dropped_) +
                           (dropped_ == 1 ? " more line" : " more lines") + " not shown]";
  const std::size_t room = longest_ > note.size() ? longest_ - note.size() : 0;
  out.push_back(std::string(CutAtUtf8Boundary(last_, room)) + note);
  return out;
}

void OutputLines::EndLine(std::vector<std::string>& out) {
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  if (line_.empty()) return;
  if (counted_ + 1 < kMostLinesPerRun) {
    out.emplace_back(CutAtUtf8Boundary(line_, longest_));
  } else if (counted_ + 1 == kMostLinesPerRun) {
    last_ = line_;
  } else {
    ++dropped_;
  }
  counted_ = std::min(counted_ + 1, kMostLinesPerRun);
  line_.clear();
}
