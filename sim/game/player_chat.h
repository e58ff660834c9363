// A player at the chat: typing a line, sending it, and the game's own handling of it.
#pragma once

#include <cstdint>
#include <string>

// How long a typed "/" line waits for the plugin to blank it, and how long a sent line stays in
// the sent state. Set by the "set" command.
extern std::uint64_t TypeWaitMs;
extern std::uint64_t HoldMs;

// Writes bytes at the chat text buffer + offset, clipped to the chat object; returns how many
// were written.
std::size_t WriteChatText(unsigned char* object, std::size_t offset, const std::string& bytes);

// Types the line, presses Enter, holds the sent state, shows the line if it is still there, and
// clears the chat. Reports "blank <ms>" or "noblank" for a "/" line, and "player <text>" when the
// game shows the line itself. Enter comes enterDelayMs later than usual. Returns the clock
// (ClockTicks) at the moment the sent state was set.
std::int64_t TypeChatLine(unsigned char* object, const std::string& text,
                          std::uint64_t enterDelayMs = 0);

// Types the line as TypeChatLine does, then cancels it with Esc: the chat closes and its text
// buffer is emptied by its first byte alone, the bytes after it left in place.
void CancelChatLine(unsigned char* object, const std::string& text);

// Sends the line at once, as a chat bind does: no pass of the plugin sees it typed. Then as
// TypeChatLine from Enter on.
void SendBoundLine(unsigned char* object, const std::string& text);

// For `ms` milliseconds, writes '/' back into the first text byte whenever it reads 0, as the
// game does while a line is typed. Returns how many times it found the byte blanked.
std::uint64_t WatchBlank(unsigned char* object, std::uint64_t ms);
