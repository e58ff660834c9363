// Runs of alike lines folded into one line a second: a flood of connections, or one
// connection's flood of lines, prints a few lines and then a count, not a line for each.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

using FoldClock = std::chrono::steady_clock;

// Lines of one kind that print as they come in each second; the rest of that second is counted.
constexpr std::size_t kLinesBeforeFolding = 10;
constexpr auto kFoldWindow = std::chrono::seconds(1);

// The lines of one kind not printed in a second that ended.
struct FoldedCount {
  std::string kind;
  std::size_t count = 0;
  bool operator==(const FoldedCount& other) const {
    return kind == other.kind && count == other.count;
  }
};

class LineFolds {
 public:
  // Whether a line of this kind prints now; if not, it is counted.
  bool Admit(const std::string& kind, FoldClock::time_point now);
  // The counts of the kinds whose second has ended (all of them when ending is true), each once.
  std::vector<FoldedCount> Due(FoldClock::time_point now, bool ending = false);
  // When Due next has a count to tell, if any is folded.
  std::optional<FoldClock::time_point> NextDue() const;
  // The count of a kind that ends now (a connection that closed), if any were folded.
  std::size_t Forget(const std::string& kind);

 private:
  struct Window {
    FoldClock::time_point start;
    std::size_t printed = 0;
    std::size_t folded = 0;
  };
  std::map<std::string, Window> windows_;
};
