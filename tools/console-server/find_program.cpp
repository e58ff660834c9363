#include "find_program.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif  // !_WIN32

namespace {

namespace fs = std::filesystem;

std::string Lowercase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Windows drops trailing dots and spaces from a file name: "x.bat." still runs x.bat.
std::string_view WithoutTrailingDots(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  return name;
}

#ifdef _WIN32
constexpr char kPathSeparator = ';';

std::string PathVariable() {
  const wchar_t* path = _wgetenv(L"PATH");
  return path != nullptr ? fs::path(path).u8string() : "";
}

// Windows starts only these itself; anything else needs its interpreter.
Result<> CanRun(const fs::path& file) {
  const std::string extension = Lowercase(file.extension().u8string());
  if (extension == ".exe" || extension == ".com") return Done{};
  return Reason{
      "Windows starts only .exe and .com files; run its interpreter with it as an argument "
      "(such as py.exe " +
      file.filename().u8string() + ")"};
}
#else
constexpr char kPathSeparator = ':';

std::string PathVariable() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
}

Result<> CanRun(const fs::path& file) {
  if (access(file.c_str(), X_OK) == 0) return Done{};
  return Reason{"it may not be executed (give it the execute permission: chmod +x " +
                file.filename().u8string() + ")"};
}
#endif  // _WIN32

// On Windows a name without an extension means the .exe.
fs::path WithExtension(const std::string& name) {
  fs::path file = fs::u8path(name);
#ifdef _WIN32
  if (!file.has_extension()) file += ".exe";
#endif  // _WIN32
  return file;
}

bool IsRegularFile(const fs::path& file) {
  std::error_code status;
  return fs::is_regular_file(file, status);
}

}  // namespace

Result<std::string> FindProgram(const std::string& name, const std::string& ruleFolder) {
  const Result<std::string> located = LocateProgram(name, ruleFolder);
  if (!located) return located;
  return RunnableProgram(*located, name);
}

Result<std::string> LocateProgram(const std::string& name, const std::string& ruleFolder) {
  const fs::path file = WithExtension(name);
  const fs::path folder = fs::u8path(ruleFolder);
  if (file.is_absolute()) return file.lexically_normal().u8string();
  std::error_code status;
  if (file.has_parent_path() || fs::exists(folder / file, status)) {
    if (!fs::exists(folder / file, status)) {
      return Reason{name + " is not in " + (folder / file).parent_path().u8string()};
    }
    return (folder / file).lexically_normal().u8string();
  }
  const std::string path = PathVariable();
  std::string_view folders = path;
  while (!folders.empty()) {
    const std::size_t end = folders.find(kPathSeparator);
    const fs::path onPath = fs::u8path(folders.substr(0, end));
    folders.remove_prefix(end == std::string_view::npos ? folders.size() : end + 1);
    // A relative folder would name another place once the program runs in the rule file's
    // folder.
    if (!onPath.is_absolute()) continue;
    if (IsRegularFile(onPath / file) && CanRun(onPath / file)) {
      return (onPath / file).lexically_normal().u8string();
    }
  }
  return Reason{name + " is not beside the rule file, nor on the PATH"};
}

Result<std::string> RunnableProgram(const std::string& path, const std::string& name) {
  const fs::path file = fs::u8path(path);
  if (!IsRegularFile(file)) return Reason{"cannot run " + name + ": " + path + " is not a file"};
  const Result<> runnable = CanRun(file);
  if (!runnable) return Reason{"cannot run " + name + ": " + runnable.why()};
  return path;
}

bool IsBatchFile(std::string_view name) {
  name = WithoutTrailingDots(name);
  if (name.size() < 4) return false;
  const std::string extension = Lowercase(name.substr(name.size() - 4));
  return extension == ".bat" || extension == ".cmd";
}
