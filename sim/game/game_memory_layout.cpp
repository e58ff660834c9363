#include "game_memory_layout.h"

#include <windows.h>

#include <cstdio>
#include <map>

std::uintptr_t GameBase = 0;
volatile std::uint64_t* ChatRoot = nullptr;
volatile std::uint64_t* ChatDisplayObject = nullptr;

namespace {

constexpr std::uintptr_t kRegionSize = 0x10000;

// Stands for the game's chat window: only its address matters, as the display routine's first
// argument.
unsigned char ChatWindow[64];

// Chat objects by number; never freed, as the plugin may hold their addresses.
std::map<std::uint64_t, unsigned char*> ChatObjects;

}  // namespace

bool AllocateFixedRegion(std::uintptr_t address, unsigned long protection, const char* what) {
  void* const region = reinterpret_cast<void*>(address & ~(kRegionSize - 1));
  void* const got = VirtualAlloc(region, kRegionSize, MEM_RESERVE | MEM_COMMIT, protection);
  if (got != region) {
    std::fprintf(stderr, "Zandrel: cannot allocate %s at 0x%llx (error %lu)\n", what,
                 static_cast<unsigned long long>(address), GetLastError());
    return false;
  }
  return true;
}

unsigned char* ChatObject(std::uint64_t number) {
  auto found = ChatObjects.find(number);
  if (found != ChatObjects.end()) return found->second;
  // VirtualAlloc hands out zeroed pages.
  auto* object = static_cast<unsigned char*>(
      VirtualAlloc(nullptr, kChatObjectSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (object != nullptr) ChatObjects[number] = object;
  return object;
}

bool LayOutGameMemory() {
  GameBase = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(nullptr));
  const std::uintptr_t chatRoot = GameBase + kChatRootOffset;
  if (!AllocateFixedRegion(chatRoot, PAGE_READWRITE, "the chat root")) return false;
  ChatRoot = reinterpret_cast<volatile std::uint64_t*>(chatRoot);
  *ChatRoot = 0;

  if (!AllocateFixedRegion(kChatDisplayObjectAddress, PAGE_READWRITE, "the chat display object")) {
    return false;
  }
  ChatDisplayObject = reinterpret_cast<volatile std::uint64_t*>(kChatDisplayObjectAddress);
  *ChatDisplayObject = reinterpret_cast<std::uintptr_t>(&ChatWindow);

  if (ChatObject(0) == nullptr) {
    std::fprintf(stderr, "Zandrel: cannot allocate chat object 0 (error %lu)\n", GetLastError());
    return false;
  }
  return true;
}
