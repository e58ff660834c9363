// The room on the plugin's stack in which the loader builds each log line object.
//
// The plugin knows the object's first bytes, the stream and then the level (256 bytes as the
// loader's compiler lays them out), but not that nothing follows them: a loader whose object has
// more members would write past a reserve of just that size, into the caller's stack, before any
// check could look. So the reserve is far larger than the known object, and its last bytes hold
// a canary: a loader that changes them has an object too large for the reserve.
#pragma once

#include <atomic>
#include <cstddef>

#include "host/msvc_stream_layout.h"

constexpr std::size_t kLogLineReserveBytes = 4096;
constexpr std::size_t kLogLineReserveAlignment = 16;
constexpr std::size_t kLogLineCanaryBytes = 16;

static_assert(msvc_stream::kLogLineSize + kLogLineCanaryBytes <= kLogLineReserveBytes);
static_assert(kLogLineReserveAlignment % msvc_stream::kLogLineAlignment == 0);

// Written into the line that finds the reserve too small, when the line's level lets it through.
constexpr const char* kLogLineTooLarge =
    "[Console] The loader's log line object is larger than the 4096 bytes reserved for it: the "
    "plugin writes no more log lines";

// Set once a line object was found too large for its reserve: no line is started after that, as
// each would write past the reserve again.
extern std::atomic<bool> LogLinesStopped;

// Zeroes the reserve, so that a loader that fills the object differently fails the layout
// checks, and puts the canary at its end.
void PrepareLogLineReserve(unsigned char* reserve);

// Whether the canary is as PrepareLogLineReserve left it.
bool LogLineFitsReserve(const unsigned char* reserve);
