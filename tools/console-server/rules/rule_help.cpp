#include "rules/rule_help.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "help/help_file.h"
#include "help/help_path.h"
#include "programs/text.h"

namespace {

namespace fs = std::filesystem;

// Our help files are a few lines; a larger file is surely someone else's.
constexpr std::uintmax_t kLargestOwnHelpFile = 1024 * 1024;
constexpr std::string_view kTemporarySuffix = ".tmp";
// Characters that no file name on Windows may hold (":" is refused by CheckHelpPath).
constexpr std::string_view kNotInFileNames = "<>\"|?*";

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80                    ? 1
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = (point << 6) | (next & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// Why the command gets no help file in the folder; Done when it gets one.
Result<> CheckHelpName(std::string_view command) {
  if (command == "*") return Reason{"the * rule is no command, so it has no help file"};
  if (command.find_first_of("/\\") != std::string_view::npos) {
    return Reason{"a / or \\ would put its help file in another folder"};
  }
  if (command.find("..") != std::string_view::npos) {
    return Reason{"a .. in a command names no plain file"};
  }
  if (const Result<> path = CommandMayNameHelpFile(command); !path) return path;
  const bool odd = std::any_of(command.begin(), command.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || kNotInFileNames.find(c) != std::string::npos;
  });
  if (odd)
    return Reason{"it holds a character that no file name may hold (" +
                  std::string(kNotInFileNames) + " or a control character)"};
  return Done{};
}

void AppendJsonString(std::string& out, std::string_view text) {
  constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '"';
}

std::string FileName(const std::string& command) {
  return command + std::string(kHelpFileSuffix);
}

bool IsOwnText(std::string_view text) {
  std::string mark = "{\n  ";
  AppendJsonString(mark, kHelpMarkKey);
  mark += ": ";
  AppendJsonString(mark, kHelpMarkValue);
  return text.substr(0, mark.size()) == mark;
}

// The file's text when it is a file of ours, or why it is left alone. A missing file gives "".
Result<std::string> OwnText(const fs::path& file) {
  std::error_code status;
  if (!fs::exists(fs::symlink_status(file, status))) return std::string();
  if (!fs::is_regular_file(fs::symlink_status(file, status))) return Reason{"it is no file"};
  const std::uintmax_t size = fs::file_size(file, status);
  std::ifstream in(file, std::ios::binary);
  if (status || size > kLargestOwnHelpFile || !in) {
    return Reason{"console-server did not write it"};
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (!IsOwnText(text)) return Reason{"console-server did not write it (it has no mark)"};
  return text;
}

Result<> WriteWhole(const fs::path& file, const std::string& text) {
  fs::path temporary = file;
  temporary += std::string(kTemporarySuffix);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) return Reason{"cannot write " + temporary.u8string()};
  }
  std::error_code status;
  fs::rename(temporary, file, status);
  if (status) {
    fs::remove(temporary, status);
    return Reason{"cannot replace it: " + status.message()};
  }
  return Done{};
}

}  // namespace

Noted<std::vector<RuleHelp>> RuleHelpFiles(const std::vector<ScriptRule>& rules) {
  Noted<std::vector<RuleHelp>> files;
  std::set<std::string> fileNames;  // in lower case: Windows finds a file in any case
  bool listNamed = false;
  for (const ScriptRule& rule : rules) {
    listNamed = listNamed || rule.command == kCommandsListCommand;
    if (rule.description.empty()) continue;
    const std::string no = "/" + Excerpt(rule.command) + " gets no help file: ";
    if (const Result<> name = CheckHelpName(rule.command); !name) {
      files.Note(no + name.why());
    } else if (!IsUtf8(rule.description)) {
      files.Note(no + "its description is not UTF-8");
    } else if (!fileNames.insert(Lowercase(FileName(rule.command))).second) {
      files.Note(no + "a rule above already describes it (on Windows, in any case)");
    } else {
      files.value.push_back({rule.command, {rule.description}});
    }
  }
  if (listNamed || files.value.empty()) return files;
  RuleHelp list{std::string(kCommandsListCommand), {"Commands (type one alone for its help):"}};
  for (const RuleHelp& help : files.value) {
    list.lines.push_back("/" + help.command + ": " + help.lines.front());
  }
  files.value.push_back(std::move(list));
  return files;
}

std::string RuleHelpText(const RuleHelp& help) {
  std::string text = "{\n  ";
  AppendJsonString(text, kHelpMarkKey);
  text += ": ";
  AppendJsonString(text, kHelpMarkValue);
  text += ",\n  ";
  AppendJsonString(text, kDefaultEntry);
  text += ": [";
  for (std::size_t i = 0; i < help.lines.size(); ++i) {
    text += i == 0 ? "\n    " : ",\n    ";
    AppendJsonString(text, help.lines[i]);
  }
  text += "\n  ]\n}\n";
  return text;
}

Noted<std::vector<std::string>> UpdateHelpFolder(const fs::path& folder,
                                                 const std::vector<RuleHelp>& files) {
  Noted<std::vector<std::string>> done;
  std::set<std::string> wanted;
  for (const RuleHelp& help : files) {
    const fs::path file = folder / fs::u8path(FileName(help.command));
    wanted.insert(Lowercase(FileName(help.command)));
    const Result<std::string> old = OwnText(file);
    const std::string text = RuleHelpText(help);
    if (!old) {
      done.Note("left " + file.u8string() + " alone: " + old.why());
    } else if (*old != text) {
      const Result<> written = WriteWhole(file, text);
      if (written) {
        done.value.push_back("wrote the help of /" + help.command + ": " + file.u8string());
      } else {
        done.Note("cannot write " + file.u8string() + ": " + written.why());
      }
    }
  }
  // Listed first and removed after: a folder changed while it is listed may list an entry twice.
  std::vector<fs::path> unwanted;
  std::error_code status;
  const std::string suffix = Lowercase(kHelpFileSuffix);
  for (fs::directory_iterator entry(folder, status), end; !status && entry != end;
       entry.increment(status)) {
    const std::string name = Lowercase(entry->path().filename().u8string());
    if (name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix &&
        wanted.count(name) == 0) {
      unwanted.push_back(entry->path());
    }
  }
  if (status) done.Note("cannot list " + folder.u8string() + ": " + status.message());
  for (const fs::path& file : unwanted) {
    const Result<std::string> old = OwnText(file);
    if (!old || old->empty()) continue;
    std::error_code removed;
    fs::remove(file, removed);
    if (removed) {
      done.Note("cannot remove " + file.u8string() + ": " + removed.message());
    } else {
      done.value.push_back("removed " + file.u8string() + ": no rule describes it now");
    }
  }
  return done;
}

Noted<std::vector<std::string>> WriteRuleHelp(const fs::path& folder,
                                              const std::vector<ScriptRule>& rules) {
  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles(rules);
  Noted<std::vector<std::string>> done = UpdateHelpFolder(folder, files.value);
  done.notes.insert(done.notes.begin(), files.notes.begin(), files.notes.end());
  return done;
}
