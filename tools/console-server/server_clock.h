// The one clock of console-server. Every time it keeps (a fold's second, a reply's pace, a held
// read, the rule file's looks) is of this clock, so the loop hands each part the same `now`, and a
// test hands them a made-up one.
#pragma once

#include <chrono>

using ServerClock = std::chrono::steady_clock;
