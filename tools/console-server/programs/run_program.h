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
  // Made on what runs now, just before it starts (a link may have been made or changed since
  // the rules were read): why it may not run. None runs it as it is.
  std::function<Result<>()> checkBeforeStart;
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
