#include "player_chat.h"

#include <windows.h>

#include <algorithm>

#include "game_memory_layout.h"
#include "sim_clock.h"
#include "sim_output.h"

std::uint64_t TypeWaitMs = 2000;
std::uint64_t HoldMs = 300;

namespace {

// Chat state words of the game.
constexpr std::int32_t kChatIdle = 0;
constexpr std::int32_t kChatTyping = 2;
constexpr std::int32_t kChatSent = 5;

// How long an ordinary line is typed: enough for a few passes of the plugin, which must leave
// it alone.
constexpr DWORD kOrdinaryTypingMs = 20;

// The plugin polls every 10 ms; checking each millisecond sees every change it makes.
constexpr DWORD kPollMs = 1;

// The text as the game would show it: from the first byte up to the next NUL, inside the object.
std::string ShownText(unsigned char* object) {
  volatile unsigned char* text = ChatText(object);
  std::string shown;
  for (std::size_t i = 0; i < kChatTextRoom && text[i] != 0; ++i) {
    shown += static_cast<char>(text[i]);
  }
  return shown;
}

}  // namespace

std::size_t WriteChatText(unsigned char* object, std::size_t offset, const std::string& bytes) {
  if (offset >= kChatTextRoom) return 0;
  const std::size_t count = std::min(bytes.size(), kChatTextRoom - offset);
  volatile unsigned char* text = ChatText(object);
  for (std::size_t i = 0; i < count; ++i) text[offset + i] = static_cast<unsigned char>(bytes[i]);
  return count;
}

namespace {

// Puts the line into the chat text buffer over what was there, as the game does.
void PutChatText(unsigned char* object, const std::string& text) {
  const std::size_t written = WriteChatText(object, 0, text + '\0');
  if (written < text.size() + 1) Report("error", "text clipped to the chat object");
}

// The line appears in the chat while its state says typing, as the game does it; a "/" line
// waits for the plugin to blank it.
void ShowTypedLine(unsigned char* object, const std::string& text) {
  ChatState(object) = kChatIdle;
  PutChatText(object, text);
  ChatFirstChar(object) = static_cast<unsigned char>(text.empty() ? 0 : text[0]);
  ChatState(object) = kChatTyping;
  const unsigned long long typedAt = SimMilliseconds();

  if (!text.empty() && text[0] == '/') {
    bool blanked = false;
    for (;;) {
      if (ChatText(object)[0] == 0) {
        blanked = true;
        break;
      }
      if (SimMilliseconds() - typedAt >= TypeWaitMs) break;
      Sleep(kPollMs);
    }
    if (blanked) {
      Report("blank", std::to_string(SimMilliseconds() - typedAt));
    } else {
      Report("noblank", "");
    }
  } else {
    Sleep(kOrdinaryTypingMs);
  }
}

// Enter, the sent state held, the line shown if it is still there, and the chat cleared.
// Returns the clock at the moment the sent state was set.
std::int64_t SendChatLine(unsigned char* object) {
  // The first-character byte goes before the state, as the plugin expects to see them.
  ChatFirstChar(object) = 0;
  ChatState(object) = kChatSent;
  const std::int64_t sentAt = ClockTicks();
  Sleep(static_cast<DWORD>(HoldMs));

  // A line whose first byte is still there is shown by the game itself.
  if (ChatText(object)[0] != 0) Report("player", Escaped(ShownText(object)));

  ChatState(object) = kChatIdle;
  ChatText(object)[0] = 0;
  ChatFirstChar(object) = 0;
  return sentAt;
}

}  // namespace

std::int64_t TypeChatLine(unsigned char* object, const std::string& text,
                          std::uint64_t enterDelayMs) {
  ShowTypedLine(object, text);
  // A measurement places Enter anywhere between two passes of the plugin.
  if (enterDelayMs > 0) {
    Sleep(static_cast<DWORD>(std::min<std::uint64_t>(enterDelayMs, INFINITE - 1)));
  }
  return SendChatLine(object);
}

void CancelChatLine(unsigned char* object, const std::string& text) {
  ShowTypedLine(object, text);
  // Esc empties the line by its first byte alone: the bytes after it stay in the buffer.
  ChatState(object) = kChatIdle;
  ChatFirstChar(object) = 0;
  ChatText(object)[0] = 0;
}

void SendBoundLine(unsigned char* object, const std::string& text) {
  PutChatText(object, text);
  SendChatLine(object);
}

std::uint64_t WatchBlank(unsigned char* object, std::uint64_t ms) {
  std::uint64_t blanks = 0;
  const unsigned long long start = SimMilliseconds();
  while (SimMilliseconds() - start < ms) {
    if (ChatText(object)[0] == 0) {
      ++blanks;
      ChatText(object)[0] = '/';
    }
    Sleep(kPollMs);
  }
  return blanks;
}
