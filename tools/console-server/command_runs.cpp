#include "command_runs.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include "common/text_bytes.h"
#include "messages.h"
#include "programs/find_program.h"
#include "programs/run_program.h"

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
  OutputLines(ConnectionId to, std::string name) : to_(to), name_(std::move(name)) {}

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
      QueueReply(to_, CutAtUtf8Boundary(last_, kLongestText));
      return;
    }
    const std::string note = " [" + std::to_string(dropped_) + " more lines not shown]";
    QueueReply(to_, std::string(CutAtUtf8Boundary(last_, kLongestText - note.size())) + note);
    Print('!', name_ + ": " + std::to_string(dropped_) + " more output lines not sent (" +
                   std::to_string(kMostLinesPerRun) + " at most per run)");
  }

  bool Empty() const { return queued_ == 0; }

 private:
  void EndLine() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.empty()) return;
    if (queued_ + 1 < kMostLinesPerRun) {
      QueueReply(to_, CutAtUtf8Boundary(line_, kLongestText));
    } else if (queued_ + 1 == kMostLinesPerRun) {
      last_ = line_;
    } else {
      ++dropped_;
    }
    queued_ = std::min(queued_ + 1, kMostLinesPerRun);
    line_.clear();
  }

  ConnectionId to_;
  std::string name_;
  std::string line_;
  std::string last_;
  int queued_ = 0;
  int dropped_ = 0;
};

// Runs the program where it is found now: the file may have come or gone since the rules were
// read.
Result<ProgramEnd> RunFound(ProgramToRun program, OutputLines& lines) {
  const Result<std::string> found = FindProgram(program.program, program.folder);
  if (!found) return Reason{found.why()};
  program.program = *found;
  return RunProgram(program, Timeout, [&](std::string_view bytes) { lines.Add(bytes); });
}

void Run(ProgramToRun program, std::string command, ConnectionId to) {
  const std::string shown = Shown(command);
  const std::string name = EscapedBytes(shown);
  Print('*', name + ": running " + EscapedBytes(program.program));
  OutputLines lines(to, name);
  const Result<ProgramEnd> ended = RunFound(std::move(program), lines);
  lines.Finish();
  if (!ended) {
    Print('!', name + ": " + EscapedBytes(ended.why()));
    QueueReply(to, shown + " could not be run.");
  } else if (ended->end == RunEnd::kTimedOut) {
    Print('!', name + ": ended after " + std::to_string(Timeout.count()) + " s");
    QueueReply(to, shown + " timed out after " + std::to_string(Timeout.count()) + " s.");
  } else {
    Print('*', name + ": exit status " + std::to_string(ended->exitStatus));
    if (ended->exitStatus != 0 && lines.Empty()) {
      QueueReply(to, shown + " failed (exit status " + std::to_string(ended->exitStatus) + ").");
    }
  }
  --Running;
}

}  // namespace

void SetRunTimeout(std::chrono::seconds timeout) {
  Timeout = timeout;
}

void StartCommandRun(const ScriptAnswer& answer, ConnectionId to) {
  const std::string shown = Shown(answer.command);
  // Only the main loop starts runs: the count cannot pass the bound between look and add.
  if (Running >= kMostRunsAtOnce) {
    Print('!', EscapedBytes(shown) + ": not run, " + std::to_string(kMostRunsAtOnce) +
                   " programs run already");
    QueueReply(to, "The server is busy: try " + shown + " again in a moment.");
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
  std::thread(Run, std::move(program), answer.command, to).detach();
}
