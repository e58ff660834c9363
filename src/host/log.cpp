#include "host/log.h"

#include "host/log_line.h"

#if !MSVC_ABI

void WriteLoaderLogLine(unsigned char* room, loader::LogLevel level, const std::string_view* pieces,
                        std::size_t count) {
  LoaderLogConstruct(room, level);
  if (LogLineFitsReserve(room)) {
    for (std::size_t i = 0; i < count; ++i) WriteLogPiece(room, pieces[i]);
  } else {
    LogLinesStopped = true;
    WriteLogPiece(room, kLogLineTooLarge);
  }
  LoaderLogDestruct(room);
}

#endif  // !MSVC_ABI
