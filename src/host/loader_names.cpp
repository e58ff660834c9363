// The loader's declarations, as the loader itself is built with them: the one source of the four
// names that loader.def and sim/loader/loader.def write out in MSVC's decoration. Built by no
// target; the test e2e.dll_tables compiles it for the MSVC ABI and checks that the names it
// refers to are exactly those of both files. Change a declaration here, and the test says which
// decorated name to write there.
//
// No headers: std::int32_t is int on every Windows compiler, and the line object's members do
// not take part in its names.

namespace loader {

enum LogLevel : int { DEBUG = 0, INFO = 1, WARN = 2, ERR = 3 };

class LOG {
 public:
  explicit LOG(LogLevel level);
  ~LOG();
};

extern LogLevel MinLogLevel;
extern const char* const GameVersion;

}  // namespace loader

// One use of each name, so that the object file refers to all four.
const char* UseEveryLoaderName() {
  loader::LOG line(loader::MinLogLevel);
  return loader::GameVersion;
}
