#include "host/log_reserve.h"

#include <cstring>

std::atomic<bool> LogLinesStopped{false};

namespace {

// Not zero, and unlike any pointer, level or count that a constructor would store.
constexpr unsigned char kCanary[kLogLineCanaryBytes] = {
    0xC4, 0x5A, 0x3B, 0xE9, 0x17, 0xA6, 0x8D, 0x72, 0xF1, 0x0E, 0x64, 0xB8, 0x29, 0xD3, 0x95, 0x4C};
constexpr std::size_t kCanaryOffset = kLogLineReserveBytes - kLogLineCanaryBytes;

}  // namespace

void PrepareLogLineReserve(unsigned char* reserve) {
  std::memset(reserve, 0, kCanaryOffset);
  std::memcpy(reserve + kCanaryOffset, kCanary, kLogLineCanaryBytes);
}

bool LogLineFitsReserve(const unsigned char* reserve) {
  return std::memcmp(reserve + kCanaryOffset, kCanary, kLogLineCanaryBytes) == 0;
}
