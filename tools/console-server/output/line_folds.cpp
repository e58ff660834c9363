#include "output/line_folds.h"

bool FoldWindow::Admit(ServerClock::time_point now, std::size_t standsFor) {
  if (start_ && now >= *start_ + kFoldWindow) {
    // A second that ended with a count still untold keeps counting: Due tells it first.
    if (folded_ > 0) {
      folded_ += standsFor;
      return false;
    }
    start_.reset();
  }
  if (!start_) {
    start_ = now;
    printed_ = 0;
  }
  if (printed_ < linesBeforeFolding_) {
    ++printed_;
    return true;
  }
  folded_ += standsFor;
  return false;
}

std::size_t FoldWindow::Due(ServerClock::time_point now) {
  if (!start_ || now < *start_ + kFoldWindow) return 0;
  return Forget();
}

std::size_t FoldWindow::Forget() {
  const std::size_t folded = folded_;
  start_.reset();
  printed_ = 0;
  folded_ = 0;
  return folded;
}

bool LineFolds::Admit(const std::string& kind, ServerClock::time_point now) {
  return windows_[kind].Admit(now);
}

std::vector<FoldedCount> LineFolds::Due(ServerClock::time_point now) {
  std::vector<FoldedCount> due;
  for (auto window = windows_.begin(); window != windows_.end();) {
    if (const std::size_t folded = window->second.Due(now)) due.push_back({window->first, folded});
    window = window->second.Idle() ? windows_.erase(window) : std::next(window);
  }
  return due;
}

std::optional<ServerClock::time_point> FoldWindow::NextDue() const {
  if (!start_ || folded_ == 0) return std::nullopt;
  return *start_ + kFoldWindow;
}

std::optional<ServerClock::time_point> LineFolds::NextDue() const {
  std::optional<ServerClock::time_point> due;
  for (const auto& [kind, window] : windows_) {
    const std::optional<ServerClock::time_point> next = window.NextDue();
    if (next && (!due || *next < *due)) due = next;
  }
  return due;
}
