// Writing one log line through the host loader. Callers see only the pieces and the level: how
// the loader's line object is laid out stays inside src/host.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

#include "host/loader.h"

// A piece of a line is written up to its first zero byte, as the stream would write a C string.
inline std::string_view LogPieceBytes(const char* text) {
  return std::string_view(text, std::strlen(text));
}
inline std::string_view LogPieceBytes(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

// Makes the region in which the loader builds each line, unless it is made already; false when
// there is no memory for it, and then no line is written. Each system has its own
// (log_region_win.cpp).
bool MakeLogLineRegion();

// Writes the pieces as one line; each piece is written only while the line's level is at least
// the loader's current minimum, which the loader may change between two pieces.
void WriteLogLine(loader::LogLevel level, const std::string_view* pieces, std::size_t count);

template <typename... Pieces>
void Log(loader::LogLevel level, const Pieces&... pieces) {
  static_assert(sizeof...(Pieces) > 0, "a line has at least one piece");
  const std::string_view texts[] = {LogPieceBytes(pieces)...};
  WriteLogLine(level, texts, sizeof...(pieces));
}
