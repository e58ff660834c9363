// The host mod loader's log and version interface, imported from loader.dll.
#pragma once

#include <cstdint>
#include <sstream>

// The stand-in loader defines LOADER_BUILD to export these names; the plugin imports them.
#if defined(_WIN32)
#if defined(LOADER_BUILD)
#define LOADER_API __declspec(dllexport)
#else
#define LOADER_API __declspec(dllimport)
#endif  // LOADER_BUILD
#else
#define LOADER_API
#endif  // _WIN32

namespace loader {

enum LogLevel : std::int32_t { DEBUG = 0, INFO = 1, WARN = 2, ERR = 3 };

// One log line: the loader's constructor starts it, its destructor emits the text written into
// the stream. The plugin relies on exactly this layout: the stream, then the stored level.
class LOADER_API LOG {
 public:
  explicit LOG(LogLevel level);
  ~LOG();
  LOG(const LOG&) = delete;
  LOG& operator=(const LOG&) = delete;

  std::stringstream s;
  LogLevel level;
};

// Lines below this level are not written; the loader may change it at any time.
extern LOADER_API LogLevel MinLogLevel;

// The running game's version, a NUL-terminated string owned by the loader.
extern LOADER_API const char* const GameVersion;

}  // namespace loader
