#include "help_check.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "relay/help_file.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kHelpFileSuffix = "Help.json";
constexpr std::string_view kDefaultEntry = "help";
constexpr std::string_view kJsonWhitespace = " \t\r\n";
// Stands for the command in the chat lines of a file that no command reads.
constexpr std::string_view kAnyCommand = "<command>";
// How much of the ignored text after the first value a warning quotes.
constexpr std::size_t kQuotedTextLength = 30;

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

std::string Shown(const fs::path& path) {
  return path.generic_u8string();
}

std::string Quoted(const std::string& key) {
  return nlohmann::json(key).dump();
}

// The library quotes the bytes where it stopped, which may be ill-formed UTF-8; escaping every
// byte outside ASCII keeps the report plain text.
std::string Printable(std::string_view text) {
  std::string printable;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      printable.push_back(c);
      continue;
    }
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    printable += escaped;
  }
  return printable;
}

// The chat lines that show an entry. Every argument that begins with "help" and has no entry of
// its own falls back to the entry "help".
std::string ChatLinesFor(const std::string& command, const std::string& key) {
  const std::string typed = "/" + command;
  if (key != kDefaultEntry) return typed + " " + key;
  // A bare "/" is an empty line, which asks for nothing.
  const std::string bare = command.empty() ? "" : typed + ", ";
  return bare + typed + " help, and " + typed + " help... without an entry of its own";
}

// The game reads only the first value, so text after it is lost without a word.
void WarnAboutIgnoredText(std::istream& in, std::ostream& out) {
  const std::string rest{std::istreambuf_iterator<char>(in.rdbuf()),
                         std::istreambuf_iterator<char>()};
  const std::size_t start = rest.find_first_not_of(kJsonWhitespace);
  if (start == std::string::npos) return;
  const std::size_t lineEnd = rest.find_first_of("\r\n", start);
  const std::size_t length = std::min(lineEnd - start, kQuotedTextLength);
  out << "  warning: the game ignores everything after the first JSON value, here from: "
      << Printable(std::string_view(rest).substr(start, length)) << "\n";
}

// Reports what one entry shows, through the game's own code. Returns false when it fails.
bool ReportEntry(const nlohmann::json& value, const std::string& key, const std::string& command,
                 std::ostream& out) {
  if (!StartsWith(key, kDefaultEntry)) {
    out << "  warning: " << Quoted(key)
        << " is never shown: the plugin asks only for arguments that begin with \"help\"\n";
    return true;
  }
  std::vector<std::string> lines;
  const std::string problem =
      ForEachHelpLine(value, key, [&lines](const std::string& line) { lines.push_back(line); });

  out << "  " << Quoted(key) << " for " << ChatLinesFor(command, key);
  if (lines.empty() && problem.empty()) {
    out << ": shows nothing\n";
    return true;
  }
  if (value.find(key)->is_object()) out << " (an object: lines in key order)";
  out << "\n";
  for (const std::string& line : lines) out << "    | " << line << "\n";
  if (problem.empty()) return true;
  out << "    line " << lines.size() + 1 << " fails: " << problem << "\n";
  return false;
}

CheckResult CheckHelpFolder(fs::path folder, std::ostream& out) {
  // "a/b/" as "a/b": the report names the folder as typed, and paths relative to it stay plain.
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();

  std::vector<fs::path> helpFiles;
  std::vector<fs::path> otherJsonFiles;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code typeError;
    if (!entry->is_regular_file(typeError)) continue;
    const std::string name = entry->path().filename().u8string();
    if (EndsWith(name, kHelpFileSuffix)) {
      helpFiles.push_back(entry->path());
    } else if (EndsWith(name, ".json")) {
      otherJsonFiles.push_back(entry->path());
    }
  }
  CheckResult worst = CheckResult::kOk;
  if (error) {
    out << Shown(folder) << ": cannot read: " << error.message() << "\n";
    worst = CheckResult::kUnreadable;
  }

  std::sort(otherJsonFiles.begin(), otherJsonFiles.end());
  for (const fs::path& file : otherJsonFiles) {
    out << Shown(file) << ": skipped: the game reads only files named <command>Help.json\n";
  }
  std::sort(helpFiles.begin(), helpFiles.end());
  std::size_t failing = 0;
  for (const fs::path& file : helpFiles) {
    const CheckResult result = CheckHelpFile(file, folder, out);
    if (result != CheckResult::kOk) ++failing;
    worst = std::max(worst, result);
  }

  out << Shown(folder) << ": " << helpFiles.size()
      << (helpFiles.size() == 1 ? " help file" : " help files");
  if (helpFiles.empty()) {
    out << " (*Help.json)\n";
  } else if (failing == 0) {
    out << ", all ok\n";
  } else {
    out << ", " << failing << " failing\n";
  }
  return worst;
}

}  // namespace

std::optional<std::string> CommandForHelpFile(const fs::path& relativePath) {
  if (!EndsWith(relativePath.filename().u8string(), kHelpFileSuffix)) return std::nullopt;
  const std::string name = relativePath.generic_u8string();
  return name.substr(0, name.size() - kHelpFileSuffix.size());
}

bool CheckHelpText(std::istream& in, const std::string& command, std::ostream& out) {
  nlohmann::json value;
  std::string error;
  if (!ReadHelpValue(in, value, error)) {
    out << "  does not parse, so every request shows nothing: " << Printable(error) << "\n";
    return false;
  }
  WarnAboutIgnoredText(in, out);

  if (value.is_null()) {
    out << "  null: shows nothing for any request\n";
    return true;
  }
  if (!value.is_object()) {
    // Asked through the game's code, for the message the game logs.
    out << "  fails for every request: "
        << ForEachHelpLine(value, kDefaultEntry, [](const std::string&) {}) << "\n";
    return false;
  }

  bool ok = true;
  for (const auto& member : value.items()) {
    ok = ReportEntry(value, member.key(), command, out) && ok;
  }
  if (!value.contains(kDefaultEntry)) {
    out << "  warning: no \"help\" entry, so " << ChatLinesFor(command, std::string(kDefaultEntry))
        << " show nothing\n";
  }
  return ok;
}

CheckResult CheckHelpFile(const fs::path& file, const fs::path& helpFolder, std::ostream& out) {
  const fs::path relative =
      helpFolder.empty() ? file.filename() : file.lexically_relative(helpFolder);
  const std::optional<std::string> command = CommandForHelpFile(relative);

  // Opened as the game opens it, in text mode, so that line ends read the same.
  std::ifstream in(file);
  if (!in) {
    out << Shown(file) << ": cannot read\n";
    return CheckResult::kUnreadable;
  }
  out << Shown(file) << ": ";
  if (command) {
    out << "help of /" << *command << "\n";
    if (command->find(' ') != std::string::npos) {
      out << "  warning: no chat line asks for this file: a typed command ends at its first "
             "space\n";
    }
  } else {
    out << "read by no command\n"
        << "  warning: the game reads only files named <command>Help.json\n";
  }

  const bool ok = CheckHelpText(in, command.value_or(std::string(kAnyCommand)), out);
  out << (ok ? "  ok\n" : "  FAILS\n");
  return ok ? CheckResult::kOk : CheckResult::kFails;
}

CheckResult CheckHelpPath(const fs::path& path, std::ostream& out) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (fs::is_regular_file(status)) return CheckHelpFile(path, fs::path(), out);
  if (fs::is_directory(status)) return CheckHelpFolder(path, out);
  out << Shown(path)
      << ": cannot read: " << (error ? error.message() : std::string("not a file or folder"))
      << "\n";
  return CheckResult::kUnreadable;
}
