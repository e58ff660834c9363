#include "programs/find_program.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "common/text_bytes.h"
#include "programs/program_files.h"
#include "programs/text.h"

namespace {

namespace fs = std::filesystem;

bool IsRegularFile(const fs::path& file) {
  std::error_code status;
  return fs::is_regular_file(file, status);
}

// Letters added, removed or changed to make one name the other, in any case.
std::size_t LettersOff(std::string_view a, std::string_view b) {
  const std::string first = Lowercase(a);
  const std::string second = Lowercase(b);
  std::vector<std::size_t> row(second.size() + 1);
  for (std::size_t j = 0; j < row.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= first.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= second.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min(
          {row[j] + 1, row[j - 1] + 1, diagonal + (first[i - 1] == second[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row.back();
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
  for (const fs::path& onPath : AbsolutePathFolders()) {
    if (IsRegularFile(onPath / file) && CanRun(onPath / file)) {
      return (onPath / file).lexically_normal().u8string();
    }
  }
  return Reason{name + " is not beside the rule file, nor on the PATH"};
}

std::vector<fs::path> AbsolutePathFolders() {
  std::vector<fs::path> absolute;
  const std::string path = PathVariable();
  std::string_view folders = path;
  while (!folders.empty()) {
    const std::size_t end = folders.find(kPathSeparator);
    fs::path folder = fs::u8path(folders.substr(0, end));
    folders.remove_prefix(end == std::string_view::npos ? folders.size() : end + 1);
    if (folder.is_absolute()) absolute.push_back(std::move(folder));
  }
  return absolute;
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

std::string RealFile(const std::string& path) {
  std::error_code status;
  const fs::path real = fs::canonical(fs::u8path(path), status);
  return LongPathOf(status ? fs::u8path(path) : real).u8string();
}

std::optional<std::string> NearestFileBeside(const std::string& name,
                                             const std::string& ruleFolder) {
  std::optional<std::string> nearest;
  std::size_t nearestOff = std::min(kMostLettersOff + 1, (name.size() + 1) / 2);
  std::error_code status;
  for (fs::directory_iterator entry(fs::u8path(ruleFolder), status), end; !status && entry != end;
       entry.increment(status)) {
    const std::string file = entry->path().filename().u8string();
    if (file == name || !IsRegularFile(entry->path())) continue;
    const std::size_t off = LettersOff(name, file);
    if (off < nearestOff) {
      nearest = file;
      nearestOff = off;
    }
  }
  return nearest;
}
