// Writing one log line through the host loader.
#pragma once

#include <cstring>
#include <new>
#include <string_view>

#include "host/loader.h"
#include "host/log_reserve.h"

// A piece of a line is written up to its first zero byte, as the stream would write a C string.
inline std::string_view LogPieceBytes(const char* text) {
  return std::string_view(text, std::strlen(text));
}
inline std::string_view LogPieceBytes(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

#if !MSVC_ABI
// Builds one line in the claimed room and writes the pieces into it, or the line that stops the
// logging when the object proves too large for the reserve; then ends it.
void WriteLoaderLogLine(unsigned char* room, loader::LogLevel level, const std::string_view* pieces,
                        std::size_t count);
#endif  // !MSVC_ABI

// Writes the pieces as one line; each piece is written only while the line's level is at least
// the loader's current minimum, which the loader may change between two pieces. The loader
// builds the line in a region of its own (host/log_reserve.h).
template <typename... Pieces>
void Log(loader::LogLevel level, const Pieces&... pieces) {
  static_assert(sizeof...(Pieces) > 0, "a line has at least one piece");
  const ClaimedLogLine claimed;
  if (claimed.room == nullptr) return;
#if MSVC_ABI
  auto* line = ::new (static_cast<void*>(claimed.room)) loader::LOG(level);
  if (LogLineFitsReserve(claimed.room)) {
    ((line->level >= loader::MinLogLevel ? static_cast<void>(line->s << LogPieceBytes(pieces))
                                         : static_cast<void>(0)),
     ...);
  } else {
    LogLinesStopped = true;
    if (line->level >= loader::MinLogLevel) line->s << kLogLineTooLarge;
  }
  line->~LOG();
#else
  const std::string_view texts[] = {LogPieceBytes(pieces)...};
  WriteLoaderLogLine(claimed.room, level, texts, sizeof...(pieces));
#endif  // MSVC_ABI
}
