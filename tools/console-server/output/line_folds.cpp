#include "output/line_folds.h"

bool LineFolds::Admit(const std::string& kind, FoldClock::time_point now) {
  const auto [found, added] = windows_.try_emplace(kind);
  Window& window = found->second;
  if (added || now >= window.start + kFoldWindow) {
    // A window whose count is still untold keeps it: Due tells it before the next window starts.
    if (!added && window.folded > 0) return ++window.folded, false;
    window = Window{now, 0, 0};
  }
  if (window.printed < kLinesBeforeFolding) return ++window.printed, true;
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

std::size_t LineFolds::Forget(const std::string& kind) {
  const auto window = windows_.find(kind);
  if (window == windows_.end()) return 0;
  const std::size_t folded = window->second.folded;
  windows_.erase(window);
  return folded;
}
