#include "help_check.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/name_fold.h"
#include "common/os_error.h"
#include "common/text_bytes.h"
#include "help/help_file.h"
#include "help/help_mark.h"
#include "help/help_path.h"
#include "help/help_selection.h"
#include "help_layout.h"
#include "parse_hint.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kJsonWhitespace = " \t\r\n";
// Stands for the command in the chat lines of a file that no command reads.
constexpr std::string_view kAnyCommand = "<command>";

// Names (of files, commands and keys) and help lines print as they are, but for the bytes that
// steer a terminal: C0 and C1 controls and DEL. Letters beyond ASCII stay readable.
std::string Shown(std::string_view text) {
  return EscapedBytes(text, EscapeSet::kControlsC1AndBidi);
}

// A path as its system writes it (on Windows with \, whichever slash the user typed), so that
// what the report names can be pasted into a command prompt.
std::string ShownPath(fs::path path) {
  return Shown(path.make_preferred().u8string());
}

// JSON's quotes escape C0 controls, but leave DEL and C1 controls as they are.
std::string Quoted(const std::string& key) {
  return Shown(nlohmann::json(key).dump());
}

// Whether the plugin would open what is at path and read it as a file: a file, or a device or a
// link to one, whose bytes it reads up to its bound. A pipe is not opened: that would block until
// something writes to it.
Result<> ReadableAsFile(const fs::path& path) {
  std::error_code error;
  const fs::file_type type = fs::status(path, error).type();
  if (error) return Reason{FileErrorText(error)};
  if (type == fs::file_type::regular || type == fs::file_type::character ||
      type == fs::file_type::block) {
    return Done{};
  }
  return Reason{"not a file or folder"};
}

// The chat lines that show an entry. Every argument that begins with "help" and has no entry of
// its own falls back to the entry "help".
std::string ChatLinesFor(const std::string& command, const std::string& key) {
  const std::string typed = "/" + Shown(command);
  if (key != kDefaultEntry) return typed + " " + Shown(key);
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
      << EscapedBytes(std::string_view(rest).substr(start, length), EscapeSet::kControlsAndNonAscii)
      << "\n";
}

// Chat lines count the lines of an entry, parse errors the lines of the file: say both.
void ReportFailingLine(std::string_view text, const std::string& key, std::size_t chatLine,
                       const std::string& problem, std::ostream& out) {
  const std::vector<std::size_t> fileLines = LayoutOf(text, key).entryLines;
  out << "    chat line " << chatLine << " of " << Quoted(key);
  if (chatLine <= fileLines.size()) out << " (file line " << fileLines[chatLine - 1] << ")";
  out << " fails: " << problem << "\n";
}

// The plugin reads a file as the library does: of keys that appear twice, the last one counts.
void WarnAboutDuplicateKeys(std::string_view text, std::ostream& out) {
  const auto duplicates = LayoutOf(text, "").duplicateKeys;
  for (std::size_t k = 0; k < duplicates.size() && k < kMostDuplicatesNamed; ++k) {
    const auto& [key, fileLines] = duplicates[k];
    out << "  warning: " << Quoted(key) << " appears " << fileLines.size() << " times (file lines";
    for (std::size_t i = 0; i < fileLines.size() && i < kMostDuplicatesNamed; ++i) {
      out << (i ? ", " : " ") << fileLines[i];
    }
    out << (fileLines.size() > kMostDuplicatesNamed ? ", ..." : "")
        << "): the plugin reads only the last one\n";
  }
  if (duplicates.size() > kMostDuplicatesNamed) {
    out << "  warning: " << duplicates.size() - kMostDuplicatesNamed
        << " more keys appear more than once\n";
  }
}

// Reports what one entry shows, through the game's own code.
CheckGrade ReportEntry(std::string_view text, const nlohmann::json& entry, const std::string& key,
                       const std::string& command, std::ostream& out) {
  if (key == kHelpMarkKey && entry.is_string() && IsHelpMarkValue(entry.get<std::string>())) {
    out << "  " << Quoted(key) << ": console-server's mark, " << Shown(entry.get<std::string>())
        << "; no request shows it\n";
    return CheckGrade::kOk;
  }
  if (!StartsWith(key, kDefaultEntry)) {
    out << "  warning: " << Quoted(key)
        << " is never shown: the plugin asks only for arguments that begin with \"help\"\n";
    return CheckGrade::kOk;
  }
  // The file parsed before any entry is reported.
  const HelpLines outcome = *SelectHelpLines(text, key);
  const std::vector<std::string>& lines = outcome.lines;

  out << "  " << Quoted(key) << " for " << ChatLinesFor(command, key);
  if (lines.empty() && outcome.notes.empty()) {
    out << ": shows nothing\n";
    return CheckGrade::kOk;
  }
  if (entry.is_object()) out << " (an object: lines in key order)";
  out << "\n";
  for (const std::string& line : lines) out << "    | " << Shown(line) << "\n";
  // The notes the plugin logs: the one on a failing line fails the request, the others warn.
  CheckGrade result = CheckGrade::kOk;
  for (const HelpNote& note : outcome.notes) {
    if (note.kind == HelpNoteKind::kFailed) {
      ReportFailingLine(text, key, lines.size() + 1, note.text, out);
      result = CheckGrade::kFails;
    } else {
      out << "    warning: " << note.text << "\n";
    }
  }
  return result;
}

// The subfolder of folder whose name is name in any case, as Windows finds it.
Result<fs::path> FindSubfolder(const fs::path& folder, std::string_view name) {
  std::error_code error;
  fs::path found;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code typeError;
    if (!entry->is_directory(typeError)) continue;
    const std::string entryName = entry->path().filename().u8string();
    if (entryName == name) return entry->path();
    if (found.empty() && SameName(entryName, name)) found = entry->path();
  }
  if (!found.empty()) return found;
  if (error) return Reason{FileErrorText(error)};
  return Reason{"no folder named " + std::string(name)};
}

// What a help folder holds that the report names, each list in order of its paths.
struct FolderFiles {
  // Named <command>Help.json in any case: anything but a folder, since the plugin opens a device
  // or a link to one as it opens a file.
  std::vector<fs::path> helpFiles;
  std::vector<fs::path> otherJsonFiles;
};

// Notes why the folder was not listed to its end: the files found before are listed all the same.
Noted<FolderFiles> ListFolder(const fs::path& folder) {
  Noted<FolderFiles> listed;
  FolderFiles& files = listed.value;
  std::error_code error;
  for (fs::recursive_directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    std::error_code typeError;
    const fs::file_status status = entry->status(typeError);
    if (!fs::exists(status) || fs::is_directory(status)) continue;
    const std::string name = entry->path().filename().u8string();
    if (CommandOfHelpFile(name)) {
      files.helpFiles.push_back(entry->path());
    } else if (EndsWithName(name, ".json")) {
      files.otherJsonFiles.push_back(entry->path());
    }
  }
  if (error) listed.Note(FileErrorText(error));
  std::sort(files.helpFiles.begin(), files.helpFiles.end());
  std::sort(files.otherJsonFiles.begin(), files.otherJsonFiles.end());
  return listed;
}

CheckGrade CheckHelpFolder(fs::path folder, std::ostream& out) {
  // "a/b/" as "a/b": the report names the folder as typed, and paths relative to it stay plain.
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();

  const Noted<FolderFiles> listed = ListFolder(folder);
  const FolderFiles& files = listed.value;
  CheckGrade worst = CheckGrade::kOk;
  for (const Reason& note : listed.notes) {
    out << ShownPath(folder) << ": cannot read: " << note.text << "\n";
    worst = CheckGrade::kUnreadable;
  }
  for (const fs::path& file : files.otherJsonFiles) {
    out << ShownPath(file) << ": skipped: " << kNotAHelpFileName << "\n";
  }
  std::size_t failing = 0;
  std::map<std::string, std::string> filesByFoldedName;
  for (const fs::path& file : files.helpFiles) {
    const CheckGrade result = CheckHelpFile(file, folder, out);
    if (result != CheckGrade::kOk) ++failing;
    worst = std::max(worst, result);

    // Windows holds only one of two names that differ in case alone.
    const auto [other, added] = filesByFoldedName.emplace(
        FoldedName(file.lexically_relative(folder).generic_u8string()), ShownPath(file));
    if (!added) {
      out << "  warning: on Windows this is the same file as " << other->second
          << ", whose name differs in case only; the game reads one of the two\n";
    }
  }

  const std::size_t count = files.helpFiles.size();
  out << ShownPath(folder) << ": " << count << (count == 1 ? " help file" : " help files");
  if (count == 0) {
    out << " (*Help.json)\n";
  } else if (failing == 0) {
    out << ", all ok\n";
  } else {
    out << ", " << failing << " failing\n";
  }
  return worst;
}

}  // namespace

CheckGrade CheckHelpText(std::istream& in, const std::string& command, std::ostream& out,
                         std::uint64_t size) {
  const Result<std::string> read = ReadHelpText(in, size);
  if (!read) {
    out << "  the plugin does not read it: " << read.why() << "\n";
    return CheckGrade::kFails;
  }
  const std::string& text = *read;
  // Asked through the game's code, for the message the game logs.
  const Result<HelpLines> asked = SelectHelpLines(text, kDefaultEntry);
  if (!asked) {
    out << "  does not parse, so every request shows nothing: "
        << EscapedBytes(asked.why(), EscapeSet::kControlsAndNonAscii) << "\n";
    if (const LikelyMistake likely = FindLikelyMistake(text);
        likely.mistake != ParseMistake::kNone) {
      out << "  most likely: " << MistakeHint(likely, text) << "\n";
    }
    return CheckGrade::kFails;
  }
  // Parses now, and no deeper than a help file may nest: the tree lists the entries.
  std::istringstream parsed(text);
  nlohmann::json value;
  parsed >> value;
  WarnAboutIgnoredText(parsed, out);
  WarnAboutDuplicateKeys(text, out);

  if (value.is_null()) {
    out << "  null: shows nothing for any request\n";
    return CheckGrade::kOk;
  }
  if (!value.is_object()) {
    // A top level that is no object fails the request with nothing shown: its one note says why.
    for (const HelpNote& note : asked->notes) {
      out << "  fails for every request: " << note.text << "\n";
    }
    return CheckGrade::kFails;
  }

  CheckGrade worst = CheckGrade::kOk;
  std::size_t checked = 0;
  for (const auto& member : value.items()) {
    if (checked++ == kMaxCheckedEntries) {
      out << "  warning: " << value.size() - kMaxCheckedEntries << " more entries not checked\n";
      break;
    }
    worst = std::max(worst, ReportEntry(text, member.value(), member.key(), command, out));
  }
  if (!value.contains(std::string(kDefaultEntry))) {
    out << "  warning: no \"help\" entry, so " << ChatLinesFor(command, std::string(kDefaultEntry))
        << " show nothing\n";
  }
  return worst;
}

CheckGrade CheckHelpFile(const fs::path& file, const fs::path& helpFolder, std::ostream& out) {
  const fs::path relative =
      helpFolder.empty() ? file.filename() : file.lexically_relative(helpFolder);
  const Result<std::string> command = CommandOfHelpFile(relative.generic_u8string());

  if (const Result<> readable = ReadableAsFile(file); !readable) {
    out << ShownPath(file) << ": cannot read: " << readable.why() << "\n";
    return CheckGrade::kUnreadable;
  }
  // Opened as the plugin opens it, as bytes, so that every system reads the same.
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    out << ShownPath(file) << ": cannot read\n";
    return CheckGrade::kUnreadable;
  }
  out << ShownPath(file) << ": ";
  if (command) {
    out << "help of /" << Shown(*command) << "\n";
    const std::string name = file.filename().u8string();
    const std::string suffix = name.substr(name.size() - kHelpFileSuffix.size());
    if (suffix != kHelpFileSuffix) {
      out << "  note: the name ends in " << Shown(suffix) << ", not " << kHelpFileSuffix
          << "; Windows ignores the case of file names, so the game reads it all the same\n";
    }
    if (command->find(' ') != std::string::npos) {
      out << "  warning: no chat line asks for this file: a typed command ends at its first "
             "space\n";
    }
    if (const Result<> allowed = CommandMayNameHelpFile(*command); !allowed) {
      out << "  the plugin refuses to read it: " << allowed.why() << "\n  FAILS\n";
      return CheckGrade::kFails;
    }
  } else {
    out << "read by no command\n  warning: " << command.why() << "\n";
  }

  const std::optional<std::uint64_t> size = HelpFileSize(in);
  if (!size) {
    out << "  cannot read\n";
    return CheckGrade::kUnreadable;
  }

  const CheckGrade result =
      CheckHelpText(in, command ? *command : std::string(kAnyCommand), out, *size);
  out << (result == CheckGrade::kOk ? "  ok\n" : "  FAILS\n");
  return result;
}

fs::path FindHelpFolder(const fs::path& folder) {
  // A game folder, its nativePC folder or its plugins folder, from the outside in.
  const std::vector<std::vector<std::string_view>> ways = {
      {"nativePC", "plugins", "ConsoleHelp"}, {"plugins", "ConsoleHelp"}, {"ConsoleHelp"}};
  for (const auto& way : ways) {
    Result<fs::path> found = folder;
    for (const std::string_view name : way) {
      found = FindSubfolder(*found, name);
      if (!found) break;
    }
    if (found) return *found;
  }
  return folder;
}

CheckGrade CheckHelpFilesAt(const fs::path& path, std::ostream& out) {
  std::error_code error;
  if (!fs::is_directory(path, error)) return CheckHelpFile(path, fs::path(), out);
  const fs::path helpFolder = FindHelpFolder(path);
  if (helpFolder != path) {
    out << ShownPath(path) << ": the help folder is " << ShownPath(helpFolder) << "\n";
  }
  return CheckHelpFolder(helpFolder, out);
}
