// The host mod loader's log and version interface, imported from loader.dll.
//
// The loader is built with MSVC. Built with MSVC too, the plugin uses the loader's declarations
// as they are. Built with any other compiler (mingw-w64, or natively for the tests), it cannot
// share the loader's C++ names or its std::stringstream, so it binds the four names under plain C
// names, which loader.def maps to their decorated form in the import library, and writes into the
// line object through the layout in host/msvc_stream_layout.h.
#pragma once

#include <cstdint>

#include "host/msvc_abi.h"

namespace loader {

enum LogLevel : std::int32_t { DEBUG = 0, INFO = 1, WARN = 2, ERR = 3 };

}  // namespace loader

#if MSVC_ABI

#include <sstream>

// The stand-in loader defines LOADER_BUILD to export these names; the plugin imports them.
#if defined(LOADER_BUILD)
#define LOADER_API __declspec(dllexport)
#else
#define LOADER_API __declspec(dllimport)
#endif  // LOADER_BUILD

namespace loader {

// One log line: the loader's constructor starts it, its destructor emits the text written into
// the stream. The plugin relies on exactly this layout: the stream, then the stored level. (The
// declarations of host/loader_names.cpp, with the members.)
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

#else

// The line object's layout that the plugin writes through is that of x64.
static_assert(sizeof(void*) == 8, "the loader's log line object is known for x64 only");

// Imported, never exported under these names: the stand-in loader exports only the decorated
// names, as the real loader does.
#if defined(_WIN32) && !defined(LOADER_BUILD)
#define LOADER_IMPORT __declspec(dllimport)
#else
#define LOADER_IMPORT
#endif  // _WIN32 && !LOADER_BUILD

// loader.def binds these to the decorated names of the loader's declarations
// (host/loader_names.cpp).
extern "C" {

// loader::LOG::LOG(LogLevel) and loader::LOG::~LOG() on a line object in the caller's region,
// larger than the msvc_stream::kLogLineSize bytes it knows of (host/log_reserve.h).
LOADER_IMPORT void LoaderLogConstruct(void* line, loader::LogLevel level);
LOADER_IMPORT void LoaderLogDestruct(void* line);

LOADER_IMPORT extern loader::LogLevel LoaderMinLogLevel;
LOADER_IMPORT extern const char* const LoaderGameVersion;

}  // extern "C"

namespace loader {

// Lines below this level are not written; the loader may change it at any time.
inline LogLevel& MinLogLevel = LoaderMinLogLevel;

// The running game's version, a NUL-terminated string owned by the loader.
inline const char* const& GameVersion = LoaderGameVersion;

}  // namespace loader

#endif  // MSVC_ABI
