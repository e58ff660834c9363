#include "net/wire.h"

#include "common/text_bytes.h"

std::string_view MessageInBuffer(const char* buffer, std::size_t length) {
  std::size_t size = 0;
  while (size < length && buffer[size] != 0) ++size;
  return std::string_view(buffer, size);
}

bool IsConsoleMessage(std::string_view message) {
  return message.size() >= kShortestConsoleMessage && StartsWith(message, kConsolePrefix);
}

std::string_view ConsoleText(std::string_view message) {
  const std::size_t space = message.find(kConsoleTextStart);
  if (space == std::string_view::npos) return message;
  return message.substr(space + 1);
}
