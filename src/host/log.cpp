#include "host/log.h"

#include <new>

#include "host/log_line.h"
#include "host/log_reserve.h"

namespace {

// The three calls on a line object in its room, the only part that differs between the ABIs.
// Built with MSVC, the plugin shares the loader's class; built otherwise, it calls the loader
// by its plain C names and writes through the object's layout (host/log_line.h).
#if MSVC_ABI
void StartLine(unsigned char* room, loader::LogLevel level) {
  ::new (static_cast<void*>(room)) loader::LOG(level);
}
void WritePiece(unsigned char* room, std::string_view piece) {
  auto* line = std::launder(reinterpret_cast<loader::LOG*>(room));
  if (line->level >= loader::MinLogLevel) line->s << piece;
}
void EndLine(unsigned char* room) {
  std::launder(reinterpret_cast<loader::LOG*>(room))->~LOG();
}
#else
void StartLine(unsigned char* room, loader::LogLevel level) {
  LoaderLogConstruct(room, level);
}
void WritePiece(unsigned char* room, std::string_view piece) {
  WriteLogPiece(room, piece);
}
void EndLine(unsigned char* room) {
  LoaderLogDestruct(room);
}
#endif  // MSVC_ABI

}  // namespace

void WriteLogLine(loader::LogLevel level, const std::string_view* pieces, std::size_t count) {
  // The loader builds the line in a region of its own (host/log_reserve.h).
  const ClaimedLogLine claimed;
  if (claimed.room == nullptr) return;
  StartLine(claimed.room, level);
  if (LogLineFitsReserve(claimed.room)) {
    for (std::size_t i = 0; i < count; ++i) WritePiece(claimed.room, pieces[i]);
  } else {
    LogLinesStopped = true;
    WritePiece(claimed.room, kLogLineTooLarge);
  }
  EndLine(claimed.room);
}
