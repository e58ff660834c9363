#include "host/log.h"

#include <new>

#include "host/log_line.h"
#include "host/log_reserve.h"

void WriteLogLine(loader::LogLevel level, const std::string_view* pieces, std::size_t count) {
  // The loader builds the line in a region of its own (host/log_reserve.h).
  const ClaimedLogLine claimed;
  if (claimed.room == nullptr) return;
#if MSVC_ABI
  auto* line = ::new (static_cast<void*>(claimed.room)) loader::LOG(level);
  if (LogLineFitsReserve(claimed.room)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (line->level >= loader::MinLogLevel) line->s << pieces[i];
    }
  } else {
    LogLinesStopped = true;
    if (line->level >= loader::MinLogLevel) line->s << kLogLineTooLarge;
  }
  line->~LOG();
#else
  LoaderLogConstruct(claimed.room, level);
  if (LogLineFitsReserve(claimed.room)) {
    for (std::size_t i = 0; i < count; ++i) WriteLogPiece(claimed.room, pieces[i]);
  } else {
    LogLinesStopped = true;
    WriteLogPiece(claimed.room, kLogLineTooLarge);
  }
  LoaderLogDestruct(claimed.room);
#endif  // MSVC_ABI
}
