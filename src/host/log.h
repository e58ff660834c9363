// Writing one log line through the host loader.
#pragma once

#include <cstring>
#include <string_view>

#include "host/loader.h"

#if !PLATFORM_COMPILER_ABI
#include "host/log_line.h"
#include "host/msvc_stream_layout.h"
#endif  // !PLATFORM_COMPILER_ABI

// A piece of a line is written up to its first zero byte, as the stream would write a C string.
inline std::string_view LogPieceBytes(const char* text) {
  return std::string_view(text, std::strlen(text));
}
inline std::string_view LogPieceBytes(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

// Writes the pieces as one line; each piece is written only while the line's level is at least
// the loader's current minimum, which the loader may change between two pieces.
template <typename... Pieces>
void Log(loader::LogLevel level, const Pieces&... pieces) {
#if PLATFORM_COMPILER_ABI
  loader::LOG line(level);
  ((line.level >= loader::MinLogLevel ? static_cast<void>(line.s << LogPieceBytes(pieces))
                                      : static_cast<void>(0)),
   ...);
#else
  // Zeroed, so that a loader that fills the object differently fails the layout test.
  alignas(msvc_stream::kLogLineAlignment) unsigned char line[msvc_stream::kLogLineSize] = {};
  LoaderLogConstruct(line, level);
  (WriteLogPiece(line, LogPieceBytes(pieces)), ...);
  LoaderLogDestruct(line);
#endif  // PLATFORM_COMPILER_ABI
}
