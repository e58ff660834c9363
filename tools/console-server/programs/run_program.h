// Runs a program without any shell: fork and exec on POSIX (run_program_posix.cpp),
// CreateProcessW on Windows (run_program_win.cpp). The rest of console-server does not know
// which. The program gets an empty stdin, its stdout pipe and console-server's stderr, and
// nothing else of console-server's: no socket, no file, no signal setting.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"

using AddedVariables = std::vector<std::pair<std::string, std::string>>;

struct ProgramToRun {
  std::string program;  // its full path (see FindProgram)
  std::vector<std::string> arguments;
  // Added to console-server's own environment (replacing variables of the same names).
  AddedVariables environment;
  std::string folder;  // where it runs
};

enum class RunEnd { kExited, kTimedOut };

// How a program that started ended.
struct ProgramEnd {
  RunEnd end = RunEnd::kExited;
  int exitStatus = 0;
};

// Runs the program with an empty stdin and console-server's stderr, and hands each piece of its
// stdout to onOutput as it comes. Once timeout has passed, ends it with the processes it
// started (its process group on POSIX, its job object on Windows), however much it prints.
// Refuses when the program cannot be started.
Result<ProgramEnd> RunProgram(const ProgramToRun& run, std::chrono::milliseconds timeout,
                              const std::function<void(std::string_view)>& onOutput);

// What both systems' RunProgram share, built and tested on every host (run_program.cpp).

// How long one wait for a program's output lasts, and how much one read takes.
using RunClock = std::chrono::steady_clock;
constexpr int kRunPollMs = 20;
constexpr std::size_t kRunReadSize = 8192;

// Windows compares the names of environment variables without case, POSIX with.
enum class NameCase { kSensitive, kIgnored };

// Whether an added variable replaces the one of this name.
bool IsAdded(std::string_view name, const AddedVariables& added, NameCase names);

// The argument as the C runtime's command-line parser gives it back whole: in double quotes,
// with the backslashes before a quote (and at the end) doubled and the quote escaped. Windows
// hands a program one command line, which its runtime splits. Characters that Windows' best-fit
// tables would turn into a quote, a backslash or a space are first replaced by what they would
// become (see best_fit.h), so that a program with an ANSI main() gets the same words.
std::wstring QuotedArgument(std::wstring_view argument);
