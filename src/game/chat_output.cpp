#include "game/chat_output.h"

#include <cstdint>

namespace {

// The game's chat display routine and the object it is called on, at fixed addresses of the
// supported game version (not relative to the module base).
constexpr std::uintptr_t kChatDisplayRoutine = 0x141A671F0;
constexpr std::uintptr_t kChatDisplayObject = 0x14506D340;

// Besides the object and the text, the routine takes a float, an int and a flag; -1.0, -1 and
// false are the values that show a plain line.
using ChatDisplayRoutine = void (*)(void* chat, const char* text, float, std::int32_t, bool);

}  // namespace

void ShowChatMessage(std::string text) {
  // Read at every call: the game may move the object it draws the chat with.
  void* chat = *reinterpret_cast<void* const volatile*>(kChatDisplayObject);
  const auto display = reinterpret_cast<ChatDisplayRoutine>(kChatDisplayRoutine);
  display(chat, text.c_str(), -1.0f, -1, false);
}
