// The region in which the loader builds each log line object.
//
// The plugin knows the object's first bytes, the stream and then the level (256 bytes as the
// loader's compiler lays them out), but not that nothing follows them. A loader whose object has
// more members writes them all in its constructor, before any check can look. So the object is
// built in a region of its own, far larger than the known object, made once at start-up and on
// no stack: an object up to the region's size overwrites nothing of the plugin's or the game's.
// The first 4 KiB of the region end in a canary. A loader that changes it has an object larger
// than any loader is expected to have, and gets one last line saying so and no line after it.
//
// Lines are made one at a time, so one region serves every caller. Load logs before it starts
// the worker; a repeated Load, which may come while the worker logs, waits for the worker's line
// to end (ClaimedLogLine).
#pragma once

#include <atomic>
#include <cstddef>

#include "host/msvc_stream_layout.h"

constexpr std::size_t kLogLineRegionBytes = 64 * 1024;
// The room that the canary closes: an object that reaches past it stops the logging.
constexpr std::size_t kLogLineReserveBytes = 4096;
constexpr std::size_t kLogLineReserveAlignment = 16;
constexpr std::size_t kLogLineCanaryBytes = 16;

static_assert(msvc_stream::kLogLineSize + kLogLineCanaryBytes <= kLogLineReserveBytes);
static_assert(kLogLineReserveBytes <= kLogLineRegionBytes);
static_assert(kLogLineReserveAlignment % msvc_stream::kLogLineAlignment == 0);

// Written into the line that finds the reserve too small, when the line's level lets it through.
constexpr const char* kLogLineTooLarge =
    "[Console] The loader's log line object is larger than the 4096 bytes reserved for it: the "
    "plugin writes no more log lines";

// Set once a line object was found too large for its reserve: no line is started after that.
extern std::atomic<bool> LogLinesStopped;

// The region, aligned to kLogLineReserveAlignment; nullptr until it is made.
extern std::atomic<unsigned char*> LogLineRegion;

// The log has no one to tell of its own failures, so making the region (MakeLogLineRegion, in
// host/log.h) and everything below end in silence (a null room, a stopped log) rather than in a
// Result.

// Zeroes the reserve, so that a loader that fills the object differently fails the layout
// checks, and puts the canary at its end.
void PrepareLogLineReserve(unsigned char* reserve);

// Whether the canary is as PrepareLogLineReserve left it.
bool LogLineFitsReserve(const unsigned char* reserve);

// The region claimed for one line and prepared for it, from construction to destruction; room
// is nullptr when no line may be started (no region, or the logging stopped).
class ClaimedLogLine {
 public:
  ClaimedLogLine();
  ~ClaimedLogLine();
  ClaimedLogLine(const ClaimedLogLine&) = delete;
  ClaimedLogLine& operator=(const ClaimedLogLine&) = delete;

  unsigned char* room = nullptr;
};
