// Writing one log line through the host loader.
#pragma once

#include "host/loader.h"

// Writes the pieces as one line; each piece is written only while the line's level is at least
// the loader's current minimum, which the loader may change between two pieces.
template <typename... Pieces>
void Log(loader::LogLevel level, const Pieces&... pieces) {
  loader::LOG line(level);
  ((line.level >= loader::MinLogLevel ? static_cast<void>(line.s << pieces) : static_cast<void>(0)),
   ...);
}
