#include "output/line_folds.h"

bool LineFolds::Admit(const std::string& kind, FoldClock::time_point now) {
  const auto [found, added] = windows_.try_emplace(kind, Window{now});
  Window& window = found->second;
  // A window that ended with a count still untold keeps counting: Due tells it first.
  if (!added && now >= window.start + kFoldWindow) {
    if (window.folded > 0) {
      ++window.folded;
      return false;
    }
    window = Window{now};
  }
  if (window.printed < kLinesBeforeFolding) {
    ++window.printed;
    return true;
  }
  ++window.folded;
  return false;
}

std::vector<FoldedCount> LineFolds::Due(FoldClock::time_point now, bool ending) {
  std::vector<FoldedCount> due;
  for (auto window = windows_.begin(); window != windows_.end();) {
    if (!ending && now < window->second.start + kFoldWindow) {
      ++window;
      continue;
    }
    if (window->second.folded > 0) due.push_back({window->first, window->second.folded});
    window = windows_.erase(window);
  }
  return due;
}

std::optional<FoldClock::time_point> LineFolds::NextDue() const {
  std::optional<FoldClock::time_point> due;
  for (const auto& [kind, window] : windows_) {
    if (window.folded > 0 && (!due || window.start + kFoldWindow < *due))
      due = window.start + kFoldWindow;
  }
  return due;
}

std::size_t LineFolds::Forget(const std::string& kind) {
  const auto window = windows_.find(kind);
  if (window == windows_.end()) return 0;
  const std::size_t folded = window->second.folded;
  windows_.erase(window);
  return folded;
}
