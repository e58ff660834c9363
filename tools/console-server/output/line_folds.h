// Runs of alike lines folded into one line a second: a flood of connections, or one
// connection's flood of lines, prints a few lines and then a count, not a line for each.
#pragma once

#include <cstddef>
#include <optional>

#include "server_clock.h"

// Lines of one kind that print as they come in each second; the rest of that second is counted.
constexpr std::size_t kLinesBeforeFolding = 10;
constexpr auto kFoldWindow = std::chrono::seconds(1);

// The second of one kind of line: the first kLinesBeforeFolding print, the rest are counted.
class FoldWindow {
 public:
  explicit FoldWindow(std::size_t linesBeforeFolding = kLinesBeforeFolding)
      : linesBeforeFolding_(linesBeforeFolding) {}
  // Whether a line prints now; if not, it is counted, as the `stands for` lines it tells of (a
  // line that is itself a count).
  bool Admit(ServerClock::time_point now, std::size_t standsFor = 1);
  // The count of a second that has ended, once (0 when none was folded); the window then starts
  // again with the next line.
  std::size_t Due(ServerClock::time_point now);
  // The count not told yet, for a kind that ends now (a connection that closed).
  std::size_t Forget();
  // Whether no second is under way.
  bool Idle() const { return !start_; }
  // When Due next has a count to tell, if any is folded.
  std::optional<ServerClock::time_point> NextDue() const;

 private:
  std::size_t linesBeforeFolding_;
  std::optional<ServerClock::time_point> start_;
  std::size_t printed_ = 0;
  std::size_t folded_ = 0;
};
