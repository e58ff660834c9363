// Writing one log line through the host loader.
#pragma once

#include <cstring>
#include <new>
#include <string_view>

#include "host/loader.h"
#include "host/log_reserve.h"

#if !MSVC_ABI
#include "host/log_line.h"
#endif  // !MSVC_ABI

// A piece of a line is written up to its first zero byte, as the stream would write a C string.
inline std::string_view LogPieceBytes(const char* text) {
  return std::string_view(text, std::strlen(text));
}
inline std::string_view LogPieceBytes(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

// Writes the pieces as one line; each piece is written only while the line's level is at least
// the loader's current minimum, which the loader may change between two pieces. The loader
// builds the line in a reserve larger than the object that the plugin knows (host/log_reserve.h).
template <typename... Pieces>
void Log(loader::LogLevel level, const Pieces&... pieces) {
  if (LogLinesStopped.load(std::memory_order_relaxed)) return;
  alignas(kLogLineReserveAlignment) unsigned char reserve[kLogLineReserveBytes];
  PrepareLogLineReserve(reserve);
#if MSVC_ABI
  auto* line = ::new (static_cast<void*>(reserve)) loader::LOG(level);
  if (LogLineFitsReserve(reserve)) {
    ((line->level >= loader::MinLogLevel ? static_cast<void>(line->s << LogPieceBytes(pieces))
                                         : static_cast<void>(0)),
     ...);
  } else {
    LogLinesStopped = true;
    if (line->level >= loader::MinLogLevel) line->s << kLogLineTooLarge;
  }
  line->~LOG();
#else
  LoaderLogConstruct(reserve, level);
  if (LogLineFitsReserve(reserve)) {
    (WriteLogPiece(reserve, LogPieceBytes(pieces)), ...);
  } else {
    LogLinesStopped = true;
    WriteLogPiece(reserve, kLogLineTooLarge);
  }
  LoaderLogDestruct(reserve);
#endif  // MSVC_ABI
}
