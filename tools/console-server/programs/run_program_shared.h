// What the POSIX and Windows RunProgram share, built and tested on every host
// (run_program.cpp): internals of run_program_posix.cpp and run_program_win.cpp, which the rest
// of console-server does not see.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "programs/run_program.h"

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
