#include "rules/rule_trust.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/text_bytes.h"
#include "output/printed_line.h"
#include "programs/find_program.h"
#include "rules/program_roles.h"
#include "rules/rule_fields.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFields[] = {"{line}", "{command}", "{args}"};

std::string Leave(std::string_view what) {
  return std::string(what) +
         "; leave {line}, {command} and {args} out and have a script of yours read the text from "
         "the environment variable CONSOLE_ARGS, or pass them to a script after --";
}

// The file a word names, as it runs: links followed. None when it is not found.
std::optional<fs::path> FileThatRuns(const std::string& word, const std::string& folder) {
  if (word.empty() || word[0] == '-' || HoldsField(word)) return std::nullopt;
  const Result<std::string> found = FindProgram(word, folder);
  if (!found) return std::nullopt;
  std::error_code status;
  const fs::path file = fs::canonical(fs::u8path(*found), status);
  if (status) return fs::u8path(*found);
  return file;
}

// The role of the program a word names, by its own name or by the name of the file that runs.
ProgramRole RoleOfWord(const std::string& word, const std::string& folder, ProgramNames names) {
  const ProgramRole named = RoleOf(word, names);
  if (named != ProgramRole::kOther) return named;
  const std::optional<fs::path> file = FileThatRuns(word, folder);
  return file ? RoleOf(file->u8string(), kHostProgramNames) : ProgramRole::kOther;
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

// The word at which an interpreter from words[from] finds its program, before the field; none
// when it would take the field for its program.
std::optional<std::size_t> ProgramWord(const std::vector<std::string>& words, std::size_t from,
                                       std::size_t field) {
  for (std::size_t i = from; i < field; ++i) {
    if (GivesProgram(words[i])) return i + 1 < field ? std::optional<std::size_t>(i + 1) : i;
    if (TakesValue(words[i])) {
      ++i;
    } else if (words[i].empty() || words[i][0] != '-') {
      return i;
    }
  }
  return std::nullopt;
}

// Why the program named at words[at] may not be given the field at words[field], whoever's it is.
Result<> CheckRole(const std::vector<std::string>& words, std::size_t at, std::size_t field,
                   ProgramRole role, const std::string& folder) {
  const std::string program = Excerpt(words[at]);
  const std::string fieldWord = Excerpt(words[field]);
  const std::string to =
      "will not give the player's text to " + std::string(RoleText(role)) + " " + program;
  for (std::size_t i = at + 1; i <= field; ++i) {
    const std::string_view next =
        i + 1 < words.size() ? std::string_view(words[i + 1]) : std::string_view();
    const std::optional<std::string_view> value = CodeFlagValue(role, words[i], next);
    if (value && HoldsField(*value)) {
      return Reason{
          Leave(to + ": " + Excerpt(words[i]) + " would take " + fieldWord + " as code to run")};
    }
  }
  const auto between = [&](std::string_view word) {
    return std::find(words.begin() + static_cast<std::ptrdiff_t>(at) + 1,
                     words.begin() + static_cast<std::ptrdiff_t>(field),
                     word) != words.begin() + static_cast<std::ptrdiff_t>(field);
  };
  switch (role) {
    case ProgramRole::kShell:
      return Reason{Leave(to + ", which would run it as commands")};
    case ProgramRole::kHandsOn:
      return Reason{Leave(to + ", which hands its words on to a shell or a terminal")};
    case ProgramRole::kDatabase:
      if (between("-safe")) return Done{};
      return Reason{Leave(to +
                          ", whose dot-commands (.shell, .system) run commands; give it "
                          "-safe before " +
                          fieldWord)};
    case ProgramRole::kInterpreter:
    case ProgramRole::kStreamEditor:
      if (ProgramWord(words, at + 1, field)) return Done{};
      return Reason{Leave(to + ", which would run " + fieldWord + " as its program (name " +
                          (role == ProgramRole::kInterpreter ? "a script of yours" : "the script") +
                          " before it)")};
    case ProgramRole::kLauncher:
      // A word that names a program, found or known, is the program it starts.
      for (std::size_t i = at + 1; i < field; ++i) {
        if (RoleOf(words[i]) != ProgramRole::kOther || FileThatRuns(words[i], folder)) {
          return Done{};
        }
      }
      return Reason{Leave(to + ", which would start " + fieldWord + " as the program to run")};
    case ProgramRole::kDebugger:
    case ProgramRole::kOther:
      break;
  }
  return Done{};
}

// Whether the field goes to the admin's own code: a program beside the rule file, or an
// interpreter running a script beside it.
bool IsOwnCode(const std::vector<std::string>& words, std::size_t field, ProgramRole role,
               const std::string& folder) {
  if (role == ProgramRole::kInterpreter) {
    const std::optional<std::size_t> script = ProgramWord(words, 1, field);
    if (!script || GivesProgram(words[*script]) || HoldsField(words[*script])) return false;
    const fs::path file = fs::u8path(folder) / fs::u8path(words[*script]);
    std::error_code status;
    return !fs::u8path(words[*script]).is_absolute() && fs::is_regular_file(file, status) &&
           IsInside(file, folder);
  }
  if (role != ProgramRole::kOther) return false;
  const Result<std::string> located = LocateProgram(words[0], folder);
  return located && IsInside(fs::u8path(*located), folder);
}

bool OpensWithField(std::string_view word) {
  return std::any_of(std::begin(kFields), std::end(kFields),
                     [&](std::string_view field) { return StartsWith(word, field); });
}

}  // namespace

Result<Noted<Trust>> CheckPlayersText(const std::vector<std::string>& words,
                                      const std::string& ruleFolder, bool marked,
                                      ProgramNames names) {
  const auto first = std::find_if(words.begin(), words.end(),
                                  [](const std::string& word) { return HoldsField(word); });
  Noted<Trust> trust{Trust::kNoField, {}};
  if (first == words.end()) return trust;
  const std::size_t field = static_cast<std::size_t>(first - words.begin());
  // Each role is looked up in the file system: the program's once.
  const ProgramRole programRole = RoleOfWord(words[0], ruleFolder, names);
  for (std::size_t i = 0; i < field; ++i) {
    const ProgramRole role = i == 0 ? programRole : RoleOfWord(words[i], ruleFolder, names);
    if (role == ProgramRole::kOther) continue;
    if (const Result<> allowed = CheckRole(words, i, field, role, ruleFolder); !allowed) {
      return Reason{allowed.why()};
    }
  }
  const std::string program = Excerpt(words[0]);
  const std::string fieldWord = Excerpt(words[field]);
  if (IsOwnCode(words, field, programRole, ruleFolder)) {
    trust.value = Trust::kOwnCode;
    return trust;
  }
  if (marked) {
    trust.value = Trust::kMarked;
    const bool ended = std::find(words.begin(), first, "--") != first;
    if (OpensWithField(words[field]) && !ended) {
      trust.Note(fieldWord + " opens a word with no -- before it: " + program +
                 " would take what the player types for an option when it starts with - (put "
                 "-- before it, as in find =>! grep -i -- {args} notes.txt)");
    }
    return trust;
  }
  const bool bare = fs::u8path(words[0]).filename() == fs::u8path(words[0]);
  if (bare && !LocateProgram(words[0], ruleFolder)) {
    trust.value = Trust::kOwnOnceThere;
    return trust;
  }
  return Reason{"will not give the player's text to " + program +
                ", which is not a program of yours beside the rule file: no one can know what "
                "every program does with its arguments. If it takes them as data only, mark the "
                "rule with =>! (find =>! grep -i -- {args} notes.txt); safer, run a script of "
                "yours beside the rule file that reads the text from the environment variable "
                "CONSOLE_ARGS"};
}
