#include "rules/rule_help.h"

#include <algorithm>
#include <random>
#include <set>
#include <system_error>

#include "common/name_fold.h"
#include "common/text_bytes.h"
#include "help/help_file.h"
#include "help/help_mark.h"
#include "help/help_path.h"
#include "output/printed_line.h"
#include "rules/help_file_io.h"

namespace {

namespace fs = std::filesystem;

// Our help files are a few lines; a larger file is surely someone else's.
constexpr std::size_t kLargestOwnHelpFile = 1024 * 1024;
// A temporary file is <command>Help.json.<random>.tmp: a name the plugin never reads, and one
// that no one can plant a link at beforehand.
constexpr std::string_view kTemporarySuffix = ".tmp";
// Characters that no file name on Windows may hold (":" is refused by CommandMayNameHelpFile).
constexpr std::string_view kNotInFileNames = "<>\"|?*";

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text.substr(i));
    if (length == 0) return false;
    i += length;
  }
  return true;
}

// Why console-server writes no help file for the command; Done when it writes one. Narrower than
// what the plugin reads (CommandMayNameHelpFile): only plain names, in the folder itself.
Result<> MayWriteHelpFileFor(std::string_view command) {
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

// How a file's text starts when console-server wrote it: its mark, with the rule file's path
// in it or, from before files named their rule file, without.
std::string MarkStart(std::string_view value) {
  std::string start = "{\n  ";
  AppendJsonString(start, kHelpMarkKey);
  start += ": ";
  AppendJsonString(start, value);
  return start;
}

// The rule file's path in a mark, from just after its opening quote: JSON's \\ and \" undone,
// and quoted for an error message.
std::string MarkedRuleFile(std::string_view rest) {
  std::string path;
  for (std::size_t i = 0; i < rest.size() && rest[i] != '"'; ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size()) ++i;
    path += rest[i];
  }
  return Excerpt(path);
}

// The file's text when it is console-server's from this rule file, "" when nothing is there, or
// why it is left alone.
Result<std::string> OwnText(const fs::path& file, std::string_view ruleFile) {
  const Result<std::optional<std::string>> read = ReadRegularFile(file, kLargestOwnHelpFile);
  if (!read) return Reason{read.why()};
  if (!*read) return std::string();
  const std::string& text = **read;
  if (StartsWith(text, MarkStart(HelpMarkValue(ruleFile)) + ",") ||
      StartsWith(text, MarkStart(kHelpMarkWriter) + ",")) {
    return text;
  }
  // The mark of any rule file, up to where its path begins.
  std::string anyRuleFile = MarkStart(HelpMarkValue(""));
  anyRuleFile.pop_back();
  if (StartsWith(text, anyRuleFile)) {
    return Reason{"console-server wrote it from another rule file, " +
                  MarkedRuleFile(std::string_view(text).substr(anyRuleFile.size()))};
  }
  return Reason{"console-server did not write it (it has no mark)"};
}

fs::path FreshTemporaryName(const fs::path& file) {
  std::random_device random;
  const std::string name =
      file.filename().u8string() + "." + std::to_string(random()) + std::string(kTemporarySuffix);
  return file.parent_path() / fs::u8path(name);
}

Result<> WriteWhole(const fs::path& file, const std::string& text) {
  const fs::path temporary = FreshTemporaryName(file);
  if (const Result<> written = WriteNewFile(temporary, text); !written) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return Reason{"cannot write " + temporary.u8string() + ": " + written.why()};
  }
  std::error_code status;
  fs::rename(temporary, file, status);
  if (status) {
    fs::remove(temporary, status);
    return Reason{"cannot replace it: " + status.message()};
  }
  return Done{};
}

// Writes the file when its text differs; says whether it is in place now.
bool PlaceHelpFile(const fs::path& folder, const RuleHelp& help, std::string_view ruleFile,
                   Noted<std::vector<std::string>>& done) {
  const fs::path file = folder / fs::u8path(FileName(help.command));
  const Result<std::string> old = OwnText(file, ruleFile);
  const std::string text = RuleHelpText(help, ruleFile);
  if (!old) {
    done.Note("left " + file.u8string() + " alone: " + old.why());
    return false;
  }
  if (*old == text) return true;
  if (const Result<> written = WriteWhole(file, text); !written) {
    done.Note("cannot write " + file.u8string() + ": " + written.why());
    return false;
  }
  done.value.push_back("wrote the help of /" + help.command + ": " + file.u8string());
  return true;
}

// Whether a file of that name is one console-server may remove when it is its own: a help file
// that no rule wants, or a temporary file left behind.
bool MayBeStale(const std::string& name, const std::set<std::string>& wanted) {
  const std::string folded = FoldedName(name);
  const std::string suffix = FoldedName(kHelpFileSuffix);
  if (EndsWith(folded, suffix)) return folded.size() > suffix.size() && wanted.count(folded) == 0;
  return EndsWith(name, kTemporarySuffix) && folded.find(suffix + ".") != std::string::npos;
}

// Removes the files of this rule file that no rule wants now, and its temporary files left
// behind.
void RemoveStaleFiles(const fs::path& folder, const std::set<std::string>& wanted,
                      std::string_view ruleFile, Noted<std::vector<std::string>>& done) {
  // Listed first and removed after: a folder changed while it is listed may list an entry twice.
  std::vector<fs::path> stale;
  std::error_code status;
  for (fs::directory_iterator entry(folder, status), end; !status && entry != end;
       entry.increment(status)) {
    if (MayBeStale(entry->path().filename().u8string(), wanted)) stale.push_back(entry->path());
  }
  if (status) done.Note("cannot list " + folder.u8string() + ": " + status.message());
  for (const fs::path& file : stale) {
    const Result<std::string> old = OwnText(file, ruleFile);
    if (!old || old->empty()) continue;
    std::error_code removed;
    fs::remove(file, removed);
    if (removed) {
      done.Note("cannot remove " + file.u8string() + ": " + removed.message());
    } else if (EndsWith(file.u8string(), kTemporarySuffix)) {
      done.value.push_back("removed " + file.u8string() + ": a temporary file left behind");
    } else {
      done.value.push_back("removed " + file.u8string() + ": no rule describes it now");
    }
  }
}

// The rules that can apply: those up to the first * rule.
std::vector<ScriptRule>::const_iterator EndOfApplying(const std::vector<ScriptRule>& rules) {
  const auto catchAll = std::find_if(rules.begin(), rules.end(),
                                     [](const ScriptRule& rule) { return rule.command == "*"; });
  return catchAll == rules.end() ? catchAll : catchAll + 1;
}

}  // namespace

Noted<std::vector<RuleHelp>> RuleHelpFiles(const std::vector<ScriptRule>& rules) {
  Noted<std::vector<RuleHelp>> files;
  std::set<std::string> fileNames;  // folded: Windows finds a file in any case
  const auto applying = EndOfApplying(rules);
  for (auto rule = rules.begin(); rule != applying; ++rule) {
    const std::string no = "/" + Excerpt(rule->command) + " gets no help file: ";
    if (rule->description.empty()) {
      if (!rule->partedDescription.empty()) {
        files.Note(no + "a blank line parts it from the comment above it (\"" +
                   Excerpt(rule->partedDescription) +
                   "\"); remove the blank line to make that comment its help");
      }
      continue;
    }
    if (const Result<> name = MayWriteHelpFileFor(rule->command); !name) {
      files.Note(no + name.why());
    } else if (!IsUtf8(rule->description)) {
      files.Note(no + "its description is not UTF-8");
    } else if (!fileNames.insert(FoldedName(FileName(rule->command))).second) {
      files.Note(no + "a rule above already describes it (on Windows, in any case)");
    } else {
      files.value.push_back({rule->command, {rule->description}});
    }
  }
  return files;
}

std::optional<RuleHelp> CommandsList(const std::vector<ScriptRule>& rules,
                                     const std::vector<RuleHelp>& inPlace) {
  const bool named = std::any_of(rules.begin(), EndOfApplying(rules), [](const ScriptRule& rule) {
    return rule.command == kCommandsListCommand;
  });
  if (named || inPlace.empty()) return std::nullopt;
  RuleHelp list{std::string(kCommandsListCommand), {"Commands (type one alone for its help):"}};
  for (const RuleHelp& help : inPlace) {
    list.lines.push_back("/" + help.command + ": " + help.lines.front());
  }
  return list;
}

std::string RuleHelpText(const RuleHelp& help, std::string_view ruleFile) {
  std::string text = MarkStart(HelpMarkValue(ruleFile));
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

Noted<std::vector<std::string>> WriteRuleHelp(const fs::path& folder,
                                              const std::vector<ScriptRule>& rules,
                                              const std::string& ruleFile) {
  // Two spellings of one rule file's path make one mark.
  std::string source = ruleFile;
  std::error_code status;
  if (!ruleFile.empty()) {
    const fs::path absolute = fs::absolute(fs::u8path(ruleFile), status);
    const fs::path real = fs::weakly_canonical(absolute, status);
    if (!status) source = real.u8string();
  }

  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles(rules);
  Noted<std::vector<std::string>> done;
  done.notes = files.notes;
  std::set<std::string> wanted;
  std::vector<RuleHelp> inPlace;
  for (const RuleHelp& help : files.value) {
    wanted.insert(FoldedName(FileName(help.command)));
    if (PlaceHelpFile(folder, help, source, done)) inPlace.push_back(help);
  }
  if (const std::optional<RuleHelp> list = CommandsList(rules, inPlace)) {
    wanted.insert(FoldedName(FileName(list->command)));
    PlaceHelpFile(folder, *list, source, done);
  }
  RemoveStaleFiles(folder, wanted, source, done);
  return done;
}
