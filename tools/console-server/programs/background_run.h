// A program of a rule, run on a thread of its own: its output lines and its end are handed to
// the callbacks, from that thread, as they come.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

#include "common/result.h"
#include "programs/run_program.h"

// How a run ended: the program's end, or why it could not run; and the lines of its output that
// did not go out.
struct RunOutcome {
  Result<ProgramEnd> ended = Reason{"not run"};
  std::size_t droppedLines = 0;
  bool printedAny = false;
};

struct BackgroundRun {
  ProgramToRun program;  // the program as the rule names it: found where it is when it starts
  std::chrono::seconds timeout{10};
  std::size_t longestLine = 0;
  std::function<void(std::string)> onLine;
  std::function<void(RunOutcome)> onEnd;
};

// Starts the thread; onEnd is its last call.
void StartInBackground(BackgroundRun run);
