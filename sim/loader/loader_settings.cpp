// The loader's settings, taken from the environment when loader.dll is loaded, so that each
// test run can choose them.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "host/loader.h"

namespace {

constexpr loader::LogLevel kDefaultMinLogLevel = loader::INFO;
constexpr const char* kDefaultGameVersion = "421470";
// Lets a test run the plugin against a loader that reports no version at all.
constexpr const char* kNullGameVersion = "<null>";

// False when the variable is not set; an empty variable is set, to "".
bool ReadEnvironment(const char* name, std::string& value) {
  SetLastError(ERROR_SUCCESS);
  DWORD length = GetEnvironmentVariableA(name, nullptr, 0);
  if (length == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    value.clear();
    return true;
  }
  std::string buffer(length, '\0');
  length = GetEnvironmentVariableA(name, &buffer[0], length);
  buffer.resize(length);
  value = buffer;
  return true;
}

loader::LogLevel ReadMinLogLevel() {
  std::string text;
  if (!ReadEnvironment("LOADER_MIN_LOG_LEVEL", text) || text.empty()) return kDefaultMinLogLevel;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  // Any 32-bit number is taken, so that tests can also silence every level or none.
  if (errno != 0 || *end != 0 || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return kDefaultMinLogLevel;
  }
  return static_cast<loader::LogLevel>(value);
}

const char* ReadGameVersion() {
  std::string text;
  if (!ReadEnvironment("LOADER_GAME_VERSION", text)) return kDefaultGameVersion;
  if (text == kNullGameVersion) return nullptr;
  // Owned by the loader for the life of the process, as the real loader's string is.
  return (new std::string(text))->c_str();
}

}  // namespace

#if MSVC_ABI
namespace loader {

LogLevel MinLogLevel = ReadMinLogLevel();
const char* const GameVersion = ReadGameVersion();

}  // namespace loader
#else
// Exported under their decorated names by loader.def.
extern "C" {

loader::LogLevel LoaderMinLogLevel = ReadMinLogLevel();
const char* const LoaderGameVersion = ReadGameVersion();

}  // extern "C"
#endif  // MSVC_ABI
