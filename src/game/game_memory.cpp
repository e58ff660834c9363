#include "game/game_memory.h"

#include "plugin_numbers.h"

static_assert(kMaxCommandLine == kLongestCommandLine,
              "console programs are told the longest command line the plugin sends");

std::uintptr_t GameBase = 0;
std::uintptr_t ChatState = 0;
std::uintptr_t ChatText = 0;
std::uintptr_t ChatFirstChar = 0;

namespace {

// The game's threads change this memory at any time: every access goes to memory.
template <typename T>
T ReadGame(std::uintptr_t address) {
  return *reinterpret_cast<const volatile T*>(address);
}

}  // namespace

std::uintptr_t ResolvePointerChain(std::uintptr_t start, PointerChain chain) {
  std::uintptr_t address = start;
  for (std::uint32_t offset : chain) {
    address = static_cast<std::uintptr_t>(ReadGame<std::uint64_t>(address)) + offset;
  }
  return address;
}

bool IsGameReady() {
  return ReadGame<std::uint32_t>(GameBase + kChatRootOffset) != 0;
}

void ResolveGameSlots() {
  const std::uintptr_t chatRoot = GameBase + kChatRootOffset;
  ChatState = ResolvePointerChain(chatRoot, {kChatStateOffset});
  ChatText = ResolvePointerChain(chatRoot, {kChatTextOffset});
  ChatFirstChar = ResolvePointerChain(chatRoot, {kChatFirstCharOffset});
}

std::int32_t ReadChatState() {
  return ReadGame<std::int32_t>(ChatState);
}

unsigned char ReadChatFirstChar() {
  return ReadGame<unsigned char>(ChatFirstChar);
}

unsigned char ReadChatTextFirstByte() {
  return ReadGame<unsigned char>(ChatText);
}

void BlankChatText() {
  *reinterpret_cast<volatile char*>(ChatText) = 0;
}

std::string CopyCommandLine() {
  std::string line;
  for (std::size_t i = 1; i <= kMaxCommandLine; ++i) {
    const char byte = ReadGame<char>(ChatText + i);
    if (byte == 0) break;
    line.push_back(byte);
  }
  return line;
}
