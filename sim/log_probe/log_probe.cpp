// Writes log lines through the plugin's own bridge to the loader, with pieces that the plugin's
// chat and console traffic cannot produce (pieces of any length, empty pieces), so that the
// end-to-end tests can check the bridge against the loader as the game runs it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/log.h"

extern "C" __declspec(dllexport) void ProbeLog(std::int32_t level, const char* const* pieces,
                                               const std::size_t* lengths, std::size_t count) {
  // The reserve that the plugin's own lines take, as the loader may need it.
  alignas(kLogLineReserveAlignment) unsigned char line[kLogLineReserveBytes];
  PrepareLogLineReserve(line);
  LoaderLogConstruct(line, static_cast<loader::LogLevel>(level));
  for (std::size_t i = 0; i < count; ++i) {
    WriteLogPiece(line, std::string_view(pieces[i], lengths[i]));
  }
  LoaderLogDestruct(line);
}
