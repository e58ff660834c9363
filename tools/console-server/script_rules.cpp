#include "script_rules.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

#include "text.h"

namespace {

constexpr std::string_view kReplyArrow = "->";
constexpr std::string_view kRunArrow = "=>";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kFields[] = {"{line}", "{command}", "{args}"};

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// One pass over the text, so that a "{args}" typed by the player is not filled in again.
std::string FilledIn(std::string_view text, std::string_view line, std::string_view command,
                     std::string_view args) {
  const std::string_view values[] = {line, command, args};
  std::string out;
  while (!text.empty()) {
    bool filled = false;
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
      if (StartsWith(text, kFields[i])) {
        out += values[i];
        text.remove_prefix(kFields[i].size());
        filled = true;
        break;
      }
    }
    if (!filled) {
      out += text[0];
      text.remove_prefix(1);
    }
  }
  return out;
}

// Splits at spaces and tabs; double quotes group a word that holds spaces ("" is an empty word).
bool SplitWords(std::string_view text, std::vector<std::string>& words, std::string& error) {
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
      continue;
    }
    std::string word;
    bool quoted = false;
    for (; i < text.size() && (quoted || (text[i] != ' ' && text[i] != '\t')); ++i) {
      if (text[i] == '"') {
        quoted = !quoted;
      } else {
        word += text[i];
      }
    }
    if (quoted) {
      error = "a double quote is not closed";
      return false;
    }
    words.push_back(std::move(word));
  }
  return true;
}

bool HoldsField(std::string_view word) {
  return std::any_of(std::begin(kFields), std::end(kFields), [&](std::string_view field) {
    return word.find(field) != std::string_view::npos;
  });
}

// A program with a folder in its name is found from the rule file's folder; a bare name is
// found there first, and else left for the system to find on the PATH.
std::string ResolvedProgram(const std::filesystem::path& folder, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path program = fs::u8path(name);
  if (program.is_absolute()) return name;
  std::error_code status;
  if (program.has_parent_path() || fs::is_regular_file(folder / program, status)) {
    return (folder / program).lexically_normal().u8string();
  }
#ifdef _WIN32
  if (fs::is_regular_file(folder / fs::u8path(name + ".exe"), status)) {
    return (folder / fs::u8path(name + ".exe")).lexically_normal().u8string();
  }
#endif  // _WIN32
  return name;
}

// Parses a "=>" rule's program and words; false and why in error for a rule that cannot run.
bool ParseRunRule(std::string_view text, const std::filesystem::path& folder, ScriptRule& rule,
                  std::string& error) {
  std::vector<std::string> words;
  if (!SplitWords(text, words, error)) return false;
  if (words.empty() || words[0].empty()) {
    error = "=> needs a program to run";
    return false;
  }
  if (HoldsField(words[0])) {
    error = "the program cannot come from the player's line (" + Excerpt(words[0]) + ")";
    return false;
  }
  if (IsBatchFile(words[0])) {
    error = "will not run " + Excerpt(words[0]) +
            ": cmd.exe reads a batch file's arguments again, and no quoting makes a player's "
            "text safe there; run a program instead";
    return false;
  }
  rule.program = ResolvedProgram(folder, words[0]);
  rule.arguments.assign(words.begin() + 1, words.end());
  rule.folder = folder.u8string();
  return true;
}

// The whole file, unless it is larger than a rule file can sensibly be.
bool ReadBounded(const std::string& path, std::string& text, std::string& error) {
  // A folder opens as a file on POSIX and then reads as empty: say what it is instead.
  std::error_code status;
  if (std::filesystem::is_directory(std::filesystem::u8path(path), status)) {
    error =
        "cannot read " + path + ": " + std::make_error_code(std::errc::is_a_directory).message();
    return false;
  }
  errno = 0;
  std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
  if (!file) {
    // The stream keeps no reason of its own; the system's is in errno.
    const int reason = errno;
    error = "cannot read " + path + ": " +
            (reason != 0 ? std::generic_category().message(reason) : "cannot open the file");
    return false;
  }
  // One byte more than allowed tells a file at the limit from a larger one (or an endless one,
  // such as /dev/zero), without reading more.
  text.resize(kLargestRuleFile + 1);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (file.bad()) {
    error = "cannot read " + path + ": " + std::generic_category().message(errno);
    return false;
  }
  if (text.size() > kLargestRuleFile) {
    error = "cannot read " + path + ": larger than 1 MiB, which no rule file needs";
    return false;
  }
  return true;
}

}  // namespace

bool IsBatchFile(std::string_view name) {
  // Windows drops trailing dots and spaces from a file name: "x.bat." still runs x.bat.
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
  if (name.size() < 4) return false;
  std::string extension(name.substr(name.size() - 4));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".bat" || extension == ".cmd";
}

bool ReadScriptRules(const std::string& path, std::vector<ScriptRule>& rules, std::string& error) {
  std::string content;
  if (!ReadBounded(path, content, error)) return false;
  std::string_view rest = content;
  if (StartsWith(rest, kByteOrderMark)) rest.remove_prefix(kByteOrderMark.size());
  const std::filesystem::path folder =
      std::filesystem::absolute(std::filesystem::u8path(path)).parent_path();
  for (int number = 1; !rest.empty(); ++number) {
    const std::size_t end = rest.find('\n');
    const std::string_view text = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    const std::string_view line = Trimmed(text);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t arrow = std::min(line.find(kReplyArrow), line.find(kRunArrow));
    const std::string_view command = Trimmed(line.substr(0, arrow));
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (arrow == std::string_view::npos || command.empty() ||
        command.find_first_of(" \t") != std::string_view::npos) {
      error = where + "expected COMMAND -> REPLY or COMMAND => PROGRAM ARG..., got: " +
              Excerpt(Trimmed(text));
      return false;
    }
    ScriptRule rule;
    rule.command = command;
    const std::string_view after = Trimmed(line.substr(arrow + 2));
    if (line.substr(arrow, 2) == kReplyArrow) {
      rule.reply = after;
    } else if (!ParseRunRule(after, folder, rule, error)) {
      error = where + error;
      return false;
    }
    rules.push_back(std::move(rule));
  }
  return true;
}

std::optional<ScriptAnswer> ScriptAnswerTo(const std::vector<ScriptRule>& rules,
                                           std::string_view line) {
  const std::size_t space = line.find(' ');
  const std::string_view command = line.substr(0, space);
  const std::string_view args = space == std::string_view::npos ? "" : line.substr(space + 1);
  for (const ScriptRule& rule : rules) {
    if (rule.command != command && rule.command != "*") continue;
    ScriptAnswer answer;
    if (rule.program.empty()) {
      if (rule.reply.empty()) return std::nullopt;
      answer.reply = FilledIn(rule.reply, line, command, args);
      return answer;
    }
    // A program's arguments and environment are C strings: they end at a zero byte anyway.
    const std::string_view cut = line.substr(0, line.find('\0'));
    answer.line = cut;
    answer.command = cut.substr(0, space);
    answer.args = space < cut.size() ? cut.substr(space + 1) : "";
    answer.run = &rule;
    for (const std::string& word : rule.arguments) {
      answer.arguments.push_back(FilledIn(word, answer.line, answer.command, answer.args));
    }
    return answer;
  }
  return std::nullopt;
}
