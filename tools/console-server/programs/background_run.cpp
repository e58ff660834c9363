#include "programs/background_run.h"

#include <thread>
#include <utility>

#include "programs/find_program.h"
#include "programs/output_lines.h"

namespace {

void Run(BackgroundRun run) {
  OutputLines lines(run.longestLine);
  RunOutcome outcome;
  // Found where it is now: the file may have come, gone or changed its mode since the rules
  // were read.
  const Result<std::string> found = FindProgram(run.program.program, run.program.folder);
  const Result<> trusted =
      found && run.program.checkBeforeStart ? run.program.checkBeforeStart() : Result<>(Done{});
  if (!found) {
    outcome.ended = Reason{found.why()};
  } else if (!trusted) {
    outcome.ended = Reason{trusted.why()};
  } else {
    run.program.program = *found;
    outcome.ended = RunProgram(run.program, run.timeout, [&](std::string_view bytes) {
      for (std::string& line : lines.Add(bytes)) run.onLine(std::move(line));
    });
  }
  for (std::string& line : lines.Finish()) run.onLine(std::move(line));
  outcome.droppedLines = lines.Dropped();
  outcome.printedAny = !lines.Empty();
  run.onEnd(std::move(outcome));
}

}  // namespace

void StartInBackground(BackgroundRun run) {
  std::thread(Run, std::move(run)).detach();
}
