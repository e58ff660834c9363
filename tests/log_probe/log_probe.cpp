// Writes log lines through the plugin's own bridge to the loader, with pieces that the plugin's
// chat and console traffic cannot produce (pieces of any length, empty pieces), so that the
// end-to-end tests can check the bridge against the loader as the game runs it.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "host/log.h"

extern "C" __declspec(dllexport) void ProbeLog(std::int32_t level, const char* const* pieces,
                                               const std::size_t* lengths, std::size_t count) {
  // This library's own region, made as Load makes the plugin's.
  MakeLogLineRegion();
  std::vector<std::string_view> texts;
  for (std::size_t i = 0; i < count; ++i) texts.emplace_back(pieces[i], lengths[i]);
  WriteLogLine(static_cast<loader::LogLevel>(level), texts.data(), count);
}
