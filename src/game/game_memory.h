// Where the plugin finds the game's chat in game memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "game/game_build.h"

// Offsets followed one after the other from a start address; each is added zero-extended.
using PointerChain = std::vector<std::uint32_t>;

// Base address of the game's main module. Written once by the worker, at its start.
extern std::uintptr_t GameBase;

// Addresses of the chat fields. Written once by the worker after the game is ready.
extern std::uintptr_t ChatState;      // 32-bit chat state word
extern std::uintptr_t ChatText;       // chat text buffer, ending in a zero byte
extern std::uintptr_t ChatFirstChar;  // the chat's first-character byte

// The longest command line the take copies: the chat text buffer cannot reach past the state
// word that follows it in the chat object.
constexpr std::size_t kMaxCommandLine = kChatStateOffset - kChatTextOffset - 1;

// Reads the 8-byte value at the current address and adds the next offset, for every offset.
std::uintptr_t ResolvePointerChain(std::uintptr_t start, PointerChain chain);

// The game is ready once the low-order 32 bits of its chat root pointer, found from GameBase, are
// non-zero.
bool IsGameReady();

// Resolves ChatState, ChatText and ChatFirstChar from the chat root, found from GameBase, as it
// is now.
void ResolveGameSlots();

std::int32_t ReadChatState();
unsigned char ReadChatFirstChar();

// The first byte of the chat text buffer.
unsigned char ReadChatTextFirstByte();

// Writes a zero into the first byte of the chat text buffer, so the game shows nothing itself.
void BlankChatText();

// Copies the chat text from its second byte up to the next zero byte.
std::string CopyCommandLine();
