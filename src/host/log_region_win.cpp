// The log line region on Windows: pages of its own, with no page mapped after them.
#include <windows.h>

#include "host/log.h"
#include "host/log_reserve.h"

namespace {

// Reserved after the region and never committed: a constructor that writes past the region
// faults at its first byte beyond, instead of overwriting whatever would follow.
constexpr SIZE_T kUnmappedAfter = 4096;

}  // namespace

bool MakeLogLineRegion() {
  if (LogLineRegion.load(std::memory_order_acquire) != nullptr) return true;
  // Page-aligned, so aligned for the object too.
  void* reserved =
      VirtualAlloc(nullptr, kLogLineRegionBytes + kUnmappedAfter, MEM_RESERVE, PAGE_NOACCESS);
  if (reserved == nullptr) return false;
  if (VirtualAlloc(reserved, kLogLineRegionBytes, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
    VirtualFree(reserved, 0, MEM_RELEASE);
    return false;
  }
  unsigned char* none = nullptr;
  if (!LogLineRegion.compare_exchange_strong(none, static_cast<unsigned char*>(reserved))) {
    VirtualFree(reserved, 0, MEM_RELEASE);  // another caller made it first
  }
  return true;
}
