// Command lines on their way to the console program. A console program that stops reading
// leaves the connection without room; what a send did not take waits here and goes first on
// the following passes, so that each line reaches the console program whole and in order, or
// not at all. A line goes on the connection that was up when it was taken, or not at all: a
// command typed while the console program was away must not run when it comes back. Only the
// worker uses them.
#pragma once

#include <cstddef>
#include <string_view>

// Room for the waiting lines: some 16 of the longest command lines.
constexpr std::size_t kPendingLinesRoom = 64 * 1024;

// Hands a command line (up to its first zero byte) to the connection: sends it behind the lines
// that wait. A line that does not fit beside them, or that finds no connection, is not sent, and
// is logged as not sent.
void SendLine(std::string_view line);

// Sends the waiting lines, each from where the connection last stopped, until it takes no more.
// A send that fails loses the link (LoseLinkAndPendingLines).
void SendPendingLines();

// The connection is gone: closes it and logs that once, then logs each waiting line as not sent
// and drops it.
void LoseLinkAndPendingLines();
