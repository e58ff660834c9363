// What the bytes between the plugin and the console program mean. The stream is unframed text:
// each receive, read up to its first zero byte, is one message.
#pragma once

#include <cstddef>
#include <string_view>

// One receive reads at most this many bytes.
constexpr std::size_t kReceiveLength = 1024;

// The message held by a receive buffer: its bytes up to the first zero byte, or all of them
// when a full receive left no zero byte.
std::string_view MessageInBuffer(const char* buffer, std::size_t length);

// A console message starts with "console" and is longer than eight bytes.
constexpr std::string_view kConsolePrefix = "console";
// The text to show starts after the first of these; a console program puts one after the prefix.
constexpr char kConsoleTextStart = ' ';
constexpr std::size_t kShortestConsoleMessage = 9;

bool IsConsoleMessage(std::string_view message);

// The text a console message shows: everything after its first space, or the whole message
// when it holds no space.
std::string_view ConsoleText(std::string_view message);
