#include "script_rules.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace {

constexpr std::string_view kArrow = "->";

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// One pass over the reply, so that a "{args}" typed by the player is not filled in again.
std::string FilledIn(std::string_view reply, std::string_view line, std::string_view command,
                     std::string_view args) {
  const std::pair<std::string_view, std::string_view> fields[] = {
      {"{line}", line}, {"{command}", command}, {"{args}", args}};
  std::string out;
  while (!reply.empty()) {
    bool filled = false;
    for (const auto& [name, value] : fields) {
      if (StartsWith(reply, name)) {
        out += value;
        reply.remove_prefix(name.size());
        filled = true;
        break;
      }
    }
    if (!filled) {
      out += reply[0];
      reply.remove_prefix(1);
    }
  }
  return out;
}

}  // namespace

bool ReadScriptRules(const std::string& path, std::vector<ScriptRule>& rules, std::string& error) {
  // A folder opens as a file on POSIX and then reads as empty: say what it is instead.
  std::error_code status;
  if (std::filesystem::is_directory(path, status)) {
    error =
        "cannot read " + path + ": " + std::make_error_code(std::errc::is_a_directory).message();
    return false;
  }
  errno = 0;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    // The stream keeps no reason of its own; the system's is in errno.
    const int reason = errno;
    error = "cannot read " + path + ": " +
            (reason != 0 ? std::generic_category().message(reason) : "cannot open the file");
    return false;
  }
  std::string text;
  for (int number = 1; std::getline(file, text); ++number) {
    const std::string_view line = Trimmed(text);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t arrow = line.find(kArrow);
    const std::string_view command = Trimmed(line.substr(0, arrow));
    if (arrow == std::string_view::npos || command.empty() ||
        command.find(' ') != std::string_view::npos) {
      error = path + ":" + std::to_string(number) + ": expected COMMAND -> REPLY, got: " + text;
      return false;
    }
    rules.push_back({std::string(command), std::string(Trimmed(line.substr(arrow + 2)))});
  }
  if (file.bad()) {
    error = "cannot read " + path + ": " + std::generic_category().message(errno);
    return false;
  }
  return true;
}

std::optional<std::string> ScriptReply(const std::vector<ScriptRule>& rules,
                                       std::string_view line) {
  const std::size_t space = line.find(' ');
  const std::string_view command = line.substr(0, space);
  const std::string_view args = space == std::string_view::npos ? "" : line.substr(space + 1);
  for (const ScriptRule& rule : rules) {
    if (rule.command != command && rule.command != "*") continue;
    if (rule.reply.empty()) return std::nullopt;
    return FilledIn(rule.reply, line, command, args);
  }
  return std::nullopt;
}
