#include "rules/rule_trust.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/text_bytes.h"
#include "output/printed_line.h"
#include "programs/find_program.h"
#include "programs/text.h"
#include "rules/program_roles.h"
#include "rules/rule_fields.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFields[] = {"{line}", "{command}", "{args}"};

// The shape that every rule may take: the admin's own code.
constexpr std::string_view kOwnCodeShape =
    "have a script of yours beside the rule file take it (weather => python3 weather.py {args}), "
    "or read it from the environment variable CONSOLE_ARGS";

// Programs that take no "--" for the end of their options: printf prints it after its FORMAT,
// echo always.
constexpr std::string_view kNoEndOfOptions[] = {"printf", "echo"};

// A known program that is the same file as the one given, found on the PATH: a second name (a
// hard link) of python3 is python3. Empty when there is none.
std::string SameFileOnPath(const FileIdentity& identity) {
  for (const fs::path& folder : AbsolutePathFolders()) {
    std::error_code status;
    for (fs::directory_iterator entry(folder, status), last; !status && entry != last;
         entry.increment(status)) {
      // Only the names with a role are worth a look at their file.
      if (RoleOf(entry->path().filename().u8string()) == ProgramRole::kOther) continue;
      const std::optional<FileIdentity> other = IdentityOf(entry->path());
      if (other && other->SameFile(identity)) return entry->path().u8string();
    }
  }
  return {};
}

// Whether the file, links followed, is in the folder or below it.
bool IsInside(const fs::path& file, const std::string& folder) {
  std::error_code status;
  const fs::path real = fs::weakly_canonical(file, status);
  const fs::path realFolder = fs::weakly_canonical(fs::u8path(folder), status);
  if (status) return false;
  const fs::path relative = real.lexically_relative(realFolder);
  return !relative.empty() && *relative.begin() != "..";
}

// Whether the word names a script of the admin's own: a file beside the rule file, or below it.
bool IsOwnScript(const std::string& word, const std::string& folder) {
  if (HoldsField(word) || fs::u8path(word).is_absolute()) return false;
  const fs::path file = fs::u8path(folder) / fs::u8path(word);
  std::error_code status;
  return fs::is_regular_file(file, status) && IsInside(file, folder);
}

bool OpensWithField(std::string_view word) {
  return std::any_of(std::begin(kFields), std::end(kFields),
                     [&](std::string_view field) { return StartsWith(word, field); });
}

// The rule's words from the program on, with what to write put before the field: the shape of
// a fix.
std::string FixedShape(const std::vector<std::string>& words, std::size_t at, std::size_t field,
                       std::string_view put) {
  std::string shape;
  const auto add = [&](std::string_view word) {
    if (!shape.empty()) shape += ' ';
    const bool quoted = word.empty() || word.find_first_of(" \t") != std::string_view::npos;
    shape += quoted ? "\"" + std::string(word) + "\"" : std::string(word);
  };
  for (std::size_t i = at; i < words.size(); ++i) {
    if (i == field) add(put);
    add(words[i]);
  }
  return Excerpt(shape);
}

std::string NameOf(const std::string& path) {
  return fs::u8path(path).filename().u8string();
}

// Why the program at words[at] may not be given the field at words[field], whoever's it is.
Result<> CheckRole(const std::vector<std::string>& words, std::size_t at, std::size_t field,
                   const ProgramLook& look, const FieldReading& read, bool marked,
                   const std::string& folder) {
  const ProgramRole role = look.role;
  const std::string program =
      Excerpt(words[at]) + (look.what.empty() ? "" : " (" + look.what + ")");
  const std::string fieldWord = Excerpt(words[field]);
  const auto refuse = [&](const std::string& why, const std::string& fix) {
    std::string text =
        "will not give the player's text to " + std::string(RoleText(role)) + " " + program + why;
    if (marked) {
      text +=
          "; =>! does not make this safe: it says that a program takes the text as data "
          "only, and this one would run it";
    }
    return Reason{text + "; " + fix};
  };
  const std::string ownCode(kOwnCodeShape);
  switch (role) {
    case ProgramRole::kOther:
      return Done{};
    case ProgramRole::kHandsOn:
      return refuse(", which hands its words on to a shell or a terminal", ownCode);
    case ProgramRole::kDatabase:
      if (std::find(words.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                    words.begin() + static_cast<std::ptrdiff_t>(field),
                    "-safe") != words.begin() + static_cast<std::ptrdiff_t>(field)) {
        return Done{};
      }
      return refuse(", whose dot-commands (.shell, .system) run commands",
                    "give it -safe before " + fieldWord +
                        " and mark the rule: " + FixedShape(words, at, at + 1, "-safe"));
    case ProgramRole::kShell: {
      const bool scriptFile = RunsScriptFile(look.knownAs);
      if (scriptFile && read.place == FieldPlace::kArgument && read.program && read.programIsFile &&
          IsOwnScript(words[*read.program], folder)) {
        return Done{};
      }
      return refuse(", which would run it as commands",
                    scriptFile ? "run a script of yours beside the rule file with it (note => " +
                                     NameOf(look.knownAs) + " note.sh {args})"
                               : ownCode);
    }
    case ProgramRole::kInterpreter:
    case ProgramRole::kStreamEditor:
    case ProgramRole::kEditor:
    case ProgramRole::kDebugger:
    case ProgramRole::kLauncher:
      break;
  }
  if (read.toShell) return refuse(", which would hand it on to a shell", ownCode);
  switch (read.place) {
    case FieldPlace::kCode:
      return refuse(
          ": " + Excerpt(words[*read.program]) + " would take " + fieldWord + " as code to run",
          ownCode);
    case FieldPlace::kProgram:
      if (role == ProgramRole::kLauncher) {
        return refuse(
            ", which would start " + fieldWord + " as the program to run",
            "name the program it starts before it: " + FixedShape(words, at, field, "PROGRAM"));
      }
      return refuse(", which would run " + fieldWord + " as its program",
                    "name a script of yours before it: " + FixedShape(words, at, field, "SCRIPT"));
    case FieldPlace::kOption:
      return refuse(", which still reads options at " + fieldWord + ", and " +
                        (role == ProgramRole::kLauncher ? "they may change what it starts"
                                                        : "some of them take code to run"),
                    "put -- before it: " + FixedShape(words, at, field, "--"));
    case FieldPlace::kArgument:
      break;
  }
  return Done{};
}

// Whether the field goes to the admin's own code: a program beside the rule file, or an
// interpreter or a shell running a script beside it.
bool IsOwnCode(const std::vector<std::string>& words, std::size_t at, const ProgramLook& look,
               const FieldReading& read, const std::string& folder) {
  switch (look.role) {
    case ProgramRole::kOther:
      return look.located && IsInside(fs::u8path(*look.located), folder);
    case ProgramRole::kInterpreter:
    case ProgramRole::kStreamEditor:
    case ProgramRole::kShell:
      return read.place == FieldPlace::kArgument && read.program && read.programIsFile &&
             *read.program > at && IsOwnScript(words[*read.program], folder);
    default:
      return false;
  }
}

}  // namespace

ProgramLook LookUpProgram(const std::string& word, const std::string& ruleFolder,
                          ProgramNames names) {
  ProgramLook look;
  look.role = RoleOf(word, names);
  look.knownAs = word;
  if (word.empty() || word[0] == '-' || HoldsField(word)) return look;
  look.located = LocateProgram(word, ruleFolder);
  if (!look.located) return look;
  look.runnable = RunnableProgram(*look.located, word);
  if (look.role != ProgramRole::kOther) return look;
  const std::string real = RealFile(*look.located);
  if (const ProgramRole role = RoleOf(real); role != ProgramRole::kOther) {
    look.role = role;
    look.knownAs = real;
    look.what = "which is " + real;
    return look;
  }
  // A file of several names may be a known program under another one.
  const std::optional<FileIdentity> identity = IdentityOf(fs::u8path(real));
  if (!identity || identity->names < 2) return look;
  const std::string same = SameFileOnPath(*identity);
  if (same.empty()) return look;
  look.role = RoleOf(same);
  look.knownAs = same;
  look.what = "the same file as " + same;
  return look;
}

Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      ProgramNames names) {
  const ProgramLook program =
      words.empty() ? ProgramLook{} : LookUpProgram(words[0], ruleFolder, names);
  return CheckPlayersText(words, ruleFolder, marked, program, names);
}

Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      const ProgramLook& program, ProgramNames names) {
  const auto first = std::find_if(words.begin(), words.end(),
                                  [](const std::string& word) { return HoldsField(word); });
  Noted<Trust> trust{Trust::kNoField, {}};
  if (first == words.end()) return trust;
  const std::size_t field = static_cast<std::size_t>(first - words.begin());
  std::size_t at = 0;
  ProgramLook look = program;
  FieldReading read;
  // Every field is checked; the first decides whose code takes the text.
  for (std::size_t other = words.size(); other-- > field;) {
    if (!HoldsField(words[other])) continue;
    at = 0;
    look = program;
    // From a launcher to the program it starts, up to the one that takes the field.
    for (;;) {
      read = look.role == ProgramRole::kOther ? FieldReading{}
                                              : ReadField(words, at, other, look.knownAs, names);
      if (const Result<> allowed = CheckRole(words, at, other, look, read, marked, ruleFolder);
          !allowed) {
        return Reason{allowed.why()};
      }
      if (look.role != ProgramRole::kLauncher || !read.program || !read.programIsFile ||
          *read.program >= other) {
        break;
      }
      at = *read.program;
      look = LookUpProgram(words[at], ruleFolder, names);
    }
  }
  const std::string name = Excerpt(words[at]);
  const std::string fieldWord = Excerpt(words[field]);
  if (IsOwnCode(words, at, look, read, ruleFolder)) {
    trust.value = Trust::kOwnCode;
    if (marked) {
      trust.Note("=>! is not needed: " + fieldWord +
                 " goes to your own code beside the rule file, which takes it unmarked");
    }
    return trust;
  }
  if (marked) {
    trust.value = Trust::kMarked;
    const bool ended =
        std::find(words.begin() + static_cast<std::ptrdiff_t>(at), first, "--") != first;
    const bool endsOptions = look.role == ProgramRole::kOther &&
                             std::find(std::begin(kNoEndOfOptions), std::end(kNoEndOfOptions),
                                       NameOf(words[at])) == std::end(kNoEndOfOptions);
    if (OpensWithField(words[field]) && !ended && endsOptions) {
      trust.Note(fieldWord + " opens a word with no -- before it: " + name +
                 " would take what the player types for an option when it starts with - (if " +
                 name +
                 " reads -- as the end of its options, put -- before it, as in find =>! "
                 "grep -i -- {args} notes.txt)");
    }
    return trust;
  }
  const bool bare = at == 0 && fs::u8path(words[0]).filename() == fs::u8path(words[0]);
  if (bare && !program.located) {
    trust.value = Trust::kOwnOnceThere;
    return trust;
  }
  std::string missing;
  if (read.program && read.programIsFile && !IsOwnScript(words[*read.program], ruleFolder) &&
      !fs::u8path(words[*read.program]).is_absolute() && !HoldsField(words[*read.program])) {
    const std::optional<std::string> near = NearestFileBeside(words[*read.program], ruleFolder);
    missing = " (" + Excerpt(words[*read.program]) + " is not beside the rule file" +
              (near ? "; did you mean " + Excerpt(*near) + "?" : "") + ")";
  }
  return Reason{"will not give the player's text to " + name + missing +
                ", which is not a program of yours beside the rule file: no one can know what "
                "every program does with its arguments. If it takes them as data only, mark the "
                "rule with =>! (find =>! grep -i -- {args} notes.txt); safer, " +
                std::string(kOwnCodeShape)};
}

Result<> CheckBeforeRun(const std::vector<std::string>& words, const std::string& ruleFolder,
                        bool marked) {
  if (words.empty()) return Done{};
  const ProgramLook look = LookUpProgram(words[0], ruleFolder);
  const Result<Noted<Trust>> checked = CheckPlayersText(words, ruleFolder, marked, look);
  if (checked) return Done{};
  const std::string file = look.located ? *look.located : words[0];
  const std::string now = look.role == ProgramRole::kOther
                              ? "not what it was when the rules were read"
                              : std::string(RoleText(look.role)) + " " + NameOf(look.knownAs) +
                                    (look.what.empty() ? "" : ", " + look.what);
  return Reason{"not run: " + Excerpt(file) + " is now " + now + ": " + checked.why() +
                " (the rules stay)"};
}

std::vector<std::string> OwnCodeFiles(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, const ProgramLook& program,
                                      ProgramNames names) {
  std::vector<std::string> files;
  if (program.located && IsInside(fs::u8path(*program.located), ruleFolder)) {
    files.push_back(*program.located);
  }
  if (program.role == ProgramRole::kOther || words.empty()) return files;
  // Where its program stands is read as for a field after every word.
  std::vector<std::string> ended = words;
  ended.emplace_back(kFields[0]);
  const FieldReading read = ReadField(ended, 0, words.size(), program.knownAs, names);
  if (read.program && read.programIsFile && IsOwnScript(words[*read.program], ruleFolder)) {
    files.push_back((fs::u8path(ruleFolder) / fs::u8path(words[*read.program])).u8string());
  }
  return files;
}
