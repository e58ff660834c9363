#include "host/log_reserve.h"

#include <cstring>
#include <thread>

std::atomic<bool> LogLinesStopped{false};
std::atomic<unsigned char*> LogLineRegion{nullptr};

namespace {

// Not zero, and unlike any pointer, level or count that a constructor would store.
constexpr unsigned char kCanary[kLogLineCanaryBytes] = {
    0xC4, 0x5A, 0x3B, 0xE9, 0x17, 0xA6, 0x8D, 0x72, 0xF1, 0x0E, 0x64, 0xB8, 0x29, 0xD3, 0x95, 0x4C};
constexpr std::size_t kCanaryOffset = kLogLineReserveBytes - kLogLineCanaryBytes;

std::atomic<bool> RegionInUse{false};

}  // namespace

void PrepareLogLineReserve(unsigned char* reserve) {
  std::memset(reserve, 0, kCanaryOffset);
  std::memcpy(reserve + kCanaryOffset, kCanary, kLogLineCanaryBytes);
}

bool LogLineFitsReserve(const unsigned char* reserve) {
  return std::memcmp(reserve + kCanaryOffset, kCanary, kLogLineCanaryBytes) == 0;
}

ClaimedLogLine::ClaimedLogLine() {
  unsigned char* region = LogLineRegion.load(std::memory_order_acquire);
  if (region == nullptr || LogLinesStopped.load(std::memory_order_relaxed)) return;
  // Another line is held for no longer than the loader takes to make and end it.
  while (RegionInUse.exchange(true, std::memory_order_acquire)) std::this_thread::yield();
  // A line that stopped the logging while this one waited ends it for this one too.
  if (LogLinesStopped.load(std::memory_order_relaxed)) {
    RegionInUse.store(false, std::memory_order_release);
    return;
  }
  PrepareLogLineReserve(region);
  room = region;
}

ClaimedLogLine::~ClaimedLogLine() {
  if (room != nullptr) RegionInUse.store(false, std::memory_order_release);
}
