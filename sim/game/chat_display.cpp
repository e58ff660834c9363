#include "chat_display.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

#include "game_memory_layout.h"
#include "sim_clock.h"
#include "sim_output.h"

namespace {

// Manual-reset events: "hold" is set while the next call is to wait, "release" lets it go on.
HANDLE HoldRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
HANDLE HoldReleased = CreateEventW(nullptr, TRUE, FALSE, nullptr);

// Written by the plugin's worker, read by the command loop.
std::atomic<std::int64_t> LastDisplayTicks{0};

}  // namespace

void HoldNextChatDisplay() {
  ResetEvent(HoldReleased);
  SetEvent(HoldRequested);
}

void ReleaseChatDisplay() {
  SetEvent(HoldReleased);
}

std::int64_t LastChatDisplayTicks() {
  return LastDisplayTicks.load();
}

void DisplayChatLine(void* object, const char* text, float f, std::int32_t i, bool flag) {
  LastDisplayTicks.store(ClockTicks());
  if (WaitForSingleObject(HoldRequested, 0) == WAIT_OBJECT_0) {
    ResetEvent(HoldRequested);
    Report("held", "");
    WaitForSingleObject(HoldReleased, INFINITE);
  }
  char head[96];
  std::snprintf(head, sizeof(head), "0x%llx %g %d %d ",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(object)),
                static_cast<double>(f), static_cast<int>(i), flag ? 1 : 0);
  // A null text shows as an empty line rather than crashing the host.
  const std::string shown = text != nullptr ? std::string(text) : std::string();
  Report("chat", head + Escaped(shown));
}

bool InstallChatDisplayRoutine() {
  if (!AllocateFixedRegion(kChatDisplayRoutineAddress, PAGE_EXECUTE_READWRITE,
                           "the chat display routine")) {
    return false;
  }
  // mov rax, imm64; jmp rax: reaches DisplayChatLine wherever it lies, with every argument
  // register untouched.
  const auto target = reinterpret_cast<std::uint64_t>(&DisplayChatLine);
  unsigned char stub[12] = {0x48, 0xB8};
  std::memcpy(stub + 2, &target, sizeof(target));
  stub[10] = 0xFF;
  stub[11] = 0xE0;
  void* const routine = reinterpret_cast<void*>(kChatDisplayRoutineAddress);
  std::memcpy(routine, stub, sizeof(stub));
  FlushInstructionCache(GetCurrentProcess(), routine, sizeof(stub));
  return true;
}
