#include "programs/find_program.h"

#include <filesystem>
#include <system_error>

#include "common/text_bytes.h"
#include "programs/program_files.h"
#include "programs/text.h"

namespace {

namespace fs = std::filesystem;

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
  const fs::path file = ProgramFileFor(name);
  const fs::path folder = fs::u8path(ruleFolder);
  if (file.is_absolute()) return file.lexically_normal().u8string();
  const fs::path beside = folder / file;
  std::error_code status;
  const bool isBeside = fs::exists(beside, status);
  if (file.has_parent_path() || isBeside) {
    if (!isBeside) {
      return Reason{name + " is not in " + beside.lexically_normal().parent_path().u8string()};
    }
    return beside.lexically_normal().u8string();
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
  const std::string lower = Lowercase(WithoutTrailingDots(name));
  return EndsWith(lower, ".bat") || EndsWith(lower, ".cmd");
}
