// The commands read from stdin, one a line.
#pragma once

#include <string_view>

// Runs one command line (CR and LF already stripped) and reports "done <verb> [results]" after
// it. Empty lines are skipped without a report.
void RunCommand(std::string_view line);
