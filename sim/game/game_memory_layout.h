// The game's memory as the plugin expects to find it. The places are written down here again
// rather than taken from the plugin's headers, so that a wrong place in the plugin shows up.
#pragma once

#include <cstddef>
#include <cstdint>

// Relative to the module base: the pointer to the current chat object.
constexpr std::uintptr_t kChatRootOffset = 0x4D18278;
// Absolute: the object the chat display routine draws with, and the routine itself.
constexpr std::uintptr_t kChatDisplayObjectAddress = 0x14506D340;
constexpr std::uintptr_t kChatDisplayRoutineAddress = 0x141A671F0;

// Fields of a chat object, from its start.
constexpr std::size_t kChatFirstCharOffset = 0x50;
constexpr std::size_t kChatTextOffset = 0x1058;
constexpr std::size_t kChatStateOffset = 0x205C;
// Just past the state word, rounded to whole pages: reading beyond the object faults.
constexpr std::size_t kChatObjectSize = 0x3000;
// How many bytes may be written at the text buffer without leaving the object.
constexpr std::size_t kChatTextRoom = kChatObjectSize - kChatTextOffset;

// Set once by LayOutGameMemory.
extern std::uintptr_t GameBase;
extern volatile std::uint64_t* ChatRoot;
extern volatile std::uint64_t* ChatDisplayObject;

// Makes the chat root, the display routine's object and chat object 0 (the routine itself is
// InstallChatDisplayRoutine's). On failure, says why on stderr and returns false.
bool LayOutGameMemory();

// Commits the 64 KiB region at a fixed address that holds `address`. On failure, says why on
// stderr and returns false.
bool AllocateFixedRegion(std::uintptr_t address, unsigned long protection, const char* what);

// Chat object `number`, created zeroed on first use. Null when memory runs out.
unsigned char* ChatObject(std::uint64_t number);

// The fields of a chat object. Volatile: the plugin's worker reads and writes them meanwhile.
inline volatile std::int32_t& ChatState(unsigned char* object) {
  return *reinterpret_cast<volatile std::int32_t*>(object + kChatStateOffset);
}
inline volatile unsigned char& ChatFirstChar(unsigned char* object) {
  return *reinterpret_cast<volatile unsigned char*>(object + kChatFirstCharOffset);
}
inline volatile unsigned char* ChatText(unsigned char* object) {
  return reinterpret_cast<volatile unsigned char*>(object + kChatTextOffset);
}
