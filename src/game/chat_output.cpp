#include "game/chat_output.h"

#include "game/game_build.h"

void ShowChatMessage(std::string text) {
  // Read at every call: the game may move the object it draws the chat with.
  void* chat = *reinterpret_cast<void* const volatile*>(kChatDisplayObject);
  const auto display = reinterpret_cast<ChatDisplayRoutine>(kChatDisplayRoutine);
  display(chat, text.c_str(), -1.0f, -1, false);
}
