// Everything the plugin knows that is tied to one build of the game. A port to a new game build
// starts here: each fact below is found again in the new executable and changed in this file.
// (The simulated game, sim/game/, keeps its own copy on purpose, so that a change here is tested
// against a game that still has the old layout until it, too, is changed.)
#pragma once

#include <cstdint>

// The version string that the loader reports for the supported build.
constexpr const char* kGameVersion = "421470";

// The file name of the game's main module.
constexpr const char* kGameModuleName = "Zandrel.exe";

// The game keeps its chat root pointer here, relative to the main module's base address.
constexpr std::uintptr_t kChatRootOffset = 0x4D18278;

// The chat fields, relative to the object that the chat root points to.
constexpr std::uint32_t kChatStateOffset = 0x205C;    // 32-bit chat state word
constexpr std::uint32_t kChatTextOffset = 0x1058;     // chat text buffer, ending in a zero byte
constexpr std::uint32_t kChatFirstCharOffset = 0x50;  // the chat's first-character byte

// What the chat state word reads while a line is typed, and once it is sent.
constexpr std::int32_t kChatTyping = 2;
constexpr std::int32_t kChatSent = 5;
// The first character that makes a typed line a command.
constexpr unsigned char kCommandMark = '/';

// The game's chat display routine and the object it is called on, at fixed addresses (not
// relative to the module base).
constexpr std::uintptr_t kChatDisplayRoutine = 0x141A671F0;
constexpr std::uintptr_t kChatDisplayObject = 0x14506D340;

// Besides the object and the text, the routine takes a float, an int and a flag; -1.0, -1 and
// false are the values that show a plain line.
using ChatDisplayRoutine = void (*)(void* chat, const char* text, float, std::int32_t, bool);
