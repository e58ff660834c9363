// Command lines on their way to the console program. A console program that stops reading
// leaves the connection without room; what a send did not take waits here and goes first on
// the following passes, so that each line reaches the console program whole and in order, or
// not at all. Only the worker uses them.
#pragma once

#include <cstddef>
#include <string_view>

// Room for the waiting lines: some 16 of the longest command lines.
constexpr std::size_t kPendingLinesRoom = 64 * 1024;

// Hands a command line (up to its first zero byte) to the connection: sends it behind the lines
// that wait. A line that does not fit beside them is not sent, and is logged as not sent.
void SendLine(std::string_view line);

// Sends the waiting lines, each from where the connection last stopped, until it takes no more.
// Lines that can no longer go because the connection failed are logged as not sent; without a
// connection they are dropped as they come, as every line is.
void SendPendingLines();
