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

std::optional<ServerClock::time_point> FoldWindow::NextDue() const {
  if (!start_ || folded_ == 0) return std::nullopt;
  return *start_ + kFoldWindow;
}
