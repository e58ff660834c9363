#include "command_runs.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "find_program.h"
#include "messages.h"
#include "run_program.h"
#include "text.h"

namespace {

constexpr int kMostRunsAtOnce = 4;
constexpr int kMostLinesPerRun = 20;
// What a chat line quotes of the command a player typed.
constexpr std::size_t kLongestCommandShown = 60;

std::atomic<int> Running{0};
std::chrono::seconds Timeout{10};

// The command as the chat shows it: "/weather".
std::string Shown(std::string_view command) {
  return "/" + std::string(CutAtUtf8Boundary(command, kLongestCommandShown));
}

// Cuts a program's output into lines and queues the first few for the chat. The last line
// that may go waits for the next one: when more follow, it tells the chat how many.
class OutputLines {
 public:
  explicit OutputLines(std::string name) : name_(std::move(name)) {}

  void Add(std::string_view bytes) {
    for (const char c : bytes) {
      if (c == '\n') {
        EndLine();
      } else if (line_.size() <= kLongestText) {
        // One byte past the longest text tells the cut where a UTF-8 sequence goes on.
        line_ += c;
      }
    }
  }

  // Ends the last line, and sends the line held back, with how many lines were not sent.
  void Finish() {
    EndLine();
    if (queued_ < kMostLinesPerRun) return;
    if (dropped_ == 0) {
      QueueConsoleMessage(CutAtUtf8Boundary(last_, kLongestText));
      return;
    }
    const std::string note = " [" + std::to_string(dropped_) + " more lines not shown]";
    QueueConsoleMessage(std::string(CutAtUtf8Boundary(last_, kLongestText - note.size())) + note);
    Print('!', name_ + ": " + std::to_string(dropped_) + " more output lines not sent (" +
                   std::to_string(kMostLinesPerRun) + " at most per run)");
  }

  bool Empty() const { return queued_ == 0; }

 private:
  void EndLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.empty()) return;
    if (queued_ + 1 < kMostLinesPerRun) {
      QueueConsoleMessage(CutAtUtf8Boundary(line_, kLongestText));
    } else if (queued_ + 1 == kMostLinesPerRun) {
      last_ = line_;
    } else {
      ++dropped_;
    }
    queued_ = std::min(queued_ + 1, kMostLinesPerRun);
    line_.clear();
  }

  std::string name_;
  std::string line_;
  std::string last_;
  int queued_ = 0;
  int dropped_ = 0;
};

void Run(ProgramToRun program, std::string command) {
  const std::string shown = Shown(command);
  const std::string name = Printable(shown);
  Print('*', name + ": running " + Printable(program.program));
  OutputLines lines(name);
  RunResult result;
  const FoundProgram found = FindProgram(program.program, program.folder);
  if (found.error.empty()) {
    program.program = found.path;
    result = RunProgram(program, Timeout, [&](std::string_view bytes) { lines.Add(bytes); });
  } else {
    result.error = found.error;
  }
  lines.Finish();
  switch (result.end) {
    case RunEnd::kNotStarted:
      Print('!', name + ": " + Printable(result.error));
      QueueConsoleMessage(shown + " could not be run.");
      break;
    case RunEnd::kTimedOut:
      Print('!', name + ": ended after " + std::to_string(Timeout.count()) + " s");
      QueueConsoleMessage(shown + " timed out after " + std::to_string(Timeout.count()) + " s.");
      break;
    case RunEnd::kExited:
      Print('*', name + ": exit status " + std::to_string(result.exitStatus));
      if (result.exitStatus != 0 && lines.Empty()) {
        QueueConsoleMessage(shown + " failed (exit status " + std::to_string(result.exitStatus) +
                            ").");
      }
      break;
  }
  --Running;
}

}  // namespace

void SetRunTimeout(std::chrono::seconds timeout) {
  Timeout = timeout;
}

void StartCommandRun(const ScriptAnswer& answer) {
  const std::string shown = Shown(answer.command);
  // Only the main loop starts runs: the count cannot pass the bound between look and add.
  if (Running >= kMostRunsAtOnce) {
    Print('!', Printable(shown) + ": not run, " + std::to_string(kMostRunsAtOnce) +
                   " programs run already");
    QueueConsoleMessage("The server is busy: try " + shown + " again in a moment.");
    return;
  }
  ++Running;
  ProgramToRun program;
  program.program = answer.run->program;
  program.arguments = answer.arguments;
  program.folder = answer.run->folder;
  program.environment = {{"CONSOLE_LINE", answer.line},
                         {"CONSOLE_COMMAND", answer.command},
                         {"CONSOLE_ARGS", answer.args}};
  std::thread(Run, std::move(program), answer.command).detach();
}
