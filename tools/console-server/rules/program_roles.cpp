#include "rules/program_roles.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "common/text_bytes.h"
#include "programs/text.h"

namespace {

struct KnownProgram {
  std::string_view name;
  ProgramRole role;
};

constexpr KnownProgram kKnownPrograms[] = {
    {"cmd", ProgramRole::kShell},          {"powershell", ProgramRole::kShell},
    {"pwsh", ProgramRole::kShell},         {"sh", ProgramRole::kShell},
    {"bash", ProgramRole::kShell},         {"rbash", ProgramRole::kShell},
    {"dash", ProgramRole::kShell},         {"ash", ProgramRole::kShell},
    {"zsh", ProgramRole::kShell},          {"ksh", ProgramRole::kShell},
    {"mksh", ProgramRole::kShell},         {"csh", ProgramRole::kShell},
    {"tcsh", ProgramRole::kShell},         {"fish", ProgramRole::kShell},
    {"busybox", ProgramRole::kShell},      {"awk", ProgramRole::kInterpreter},
    {"gawk", ProgramRole::kInterpreter},   {"mawk", ProgramRole::kInterpreter},
    {"nawk", ProgramRole::kInterpreter},   {"perl", ProgramRole::kInterpreter},
    {"python", ProgramRole::kInterpreter}, {"pythonw", ProgramRole::kInterpreter},
    {"py", ProgramRole::kInterpreter},     {"ruby", ProgramRole::kInterpreter},
    {"node", ProgramRole::kInterpreter},   {"nodejs", ProgramRole::kInterpreter},
    {"php", ProgramRole::kInterpreter},    {"lua", ProgramRole::kInterpreter},
    {"tclsh", ProgramRole::kInterpreter},  {"sed", ProgramRole::kStreamEditor},
    {"gsed", ProgramRole::kStreamEditor},  {"ssh", ProgramRole::kHandsOn},
    {"wsl", ProgramRole::kHandsOn},        {"tmux", ProgramRole::kHandsOn},
    {"screen", ProgramRole::kHandsOn},     {"su", ProgramRole::kHandsOn},
    {"watch", ProgramRole::kHandsOn},      {"sqlite3", ProgramRole::kDatabase},
    {"sqlite", ProgramRole::kDatabase},    {"gdb", ProgramRole::kDebugger},
    {"sudo", ProgramRole::kLauncher},      {"doas", ProgramRole::kLauncher},
    {"runuser", ProgramRole::kLauncher},   {"xargs", ProgramRole::kLauncher},
    {"setsid", ProgramRole::kLauncher},    {"nohup", ProgramRole::kLauncher},
    {"stdbuf", ProgramRole::kLauncher},    {"chroot", ProgramRole::kLauncher},
    {"unshare", ProgramRole::kLauncher},   {"env", ProgramRole::kLauncher},
    {"nice", ProgramRole::kLauncher},      {"ionice", ProgramRole::kLauncher},
    {"timeout", ProgramRole::kLauncher},   {"taskset", ProgramRole::kLauncher},
    {"flock", ProgramRole::kLauncher},     {"conhost", ProgramRole::kLauncher},
    {"start", ProgramRole::kLauncher},
};

// Flags whose value is code, by the role of the program they follow (a shell runs every word
// after it, so its own need no list). A bundle of one-letter flags ending in one of the bundle
// letters takes the next word as code too (perl -ne, python3 -Ic, sed -ne).
constexpr std::string_view kInterpreterCodeFlags[] = {"-c", "-e", "-E", "--eval", "-r"};
constexpr std::string_view kStreamEditorCodeFlags[] = {"-e", "--expression", "-f", "--file"};
constexpr std::string_view kDebuggerCodeFlags[] = {"-ex",
                                                   "--ex",
                                                   "-eval-command",
                                                   "--eval-command",
                                                   "-iex",
                                                   "--iex",
                                                   "-init-eval-command",
                                                   "--init-eval-command",
                                                   "-x",
                                                   "--command",
                                                   "-ix",
                                                   "--init-command"};
constexpr std::string_view kLauncherCodeFlags[] = {"-S", "--split-string"};

// Options of interpreters and stream editors that give their program, and that take a value.
constexpr std::string_view kProgramOptions[] = {"-f", "--file",       "-m",
                                                "-e", "--expression", "--source"};
constexpr std::string_view kValueOptions[] = {"-F", "-v",       "-W",
                                              "-X", "--assign", "--field-separator"};

template <std::size_t N>
bool Holds(const std::string_view (&list)[N], std::string_view word) {
  return std::find(std::begin(list), std::end(list), word) != std::end(list);
}

// The name, or the name with a version after it: a digit, a dot, a dash or an underscore next.
bool NamesProgram(std::string_view name, std::string_view listed) {
  if (!StartsWith(name, listed)) return false;
  return name.size() == listed.size() ||
         std::string_view("0123456789.-_").find(name[listed.size()]) != std::string_view::npos;
}

template <std::size_t N>
std::optional<std::string_view> FlagValue(const std::string_view (&flags)[N], std::string_view word,
                                          std::string_view next, std::string_view bundleLetters) {
  if (Holds(flags, word)) return next;
  for (const std::string_view flag : flags) {
    if (!StartsWith(word, flag)) continue;
    // Attached: --eval=CODE, -e{args}; a long flag only after "=".
    if (word[flag.size()] == '=') return word.substr(flag.size() + 1);
    if (flag.size() == 2) return word.substr(flag.size());
  }
  if (bundleLetters.empty() || word.size() < 2 || word[0] != '-' || word[1] == '-') {
    return std::nullopt;
  }
  std::size_t letters = 1;
  while (letters < word.size() && std::isalpha(static_cast<unsigned char>(word[letters]))) {
    ++letters;
  }
  const std::size_t code = word.substr(0, letters).find_last_of(bundleLetters);
  if (code == std::string_view::npos || code == 0) return std::nullopt;
  return code + 1 == word.size() ? next : word.substr(code + 1);
}

// The name of the program that a word names, as the system finds it: without its folder and, on
// Windows, in any case and without .exe or .com. A name ending in .exe or .com names a Windows
// program on any system (Linux runs one through Windows' interop), and is taken as Windows does.
std::string ProgramName(std::string_view word, ProgramNames names) {
  // Linux runs a Windows program too, where Windows' interop is on (WSL): it finds "cmd.exe".
  const std::string lower = Lowercase(WithoutTrailingDots(word));
  const bool windows =
      names == ProgramNames::kWindows || EndsWith(lower, ".exe") || EndsWith(lower, ".com");
  const std::size_t folder = word.find_last_of(windows ? "/\\" : "/");
  const std::size_t start = folder == std::string_view::npos ? 0 : folder + 1;
  if (!windows) return std::string(word.substr(start));
  // Trimming takes only dots and spaces from the end, so the folder ends at the same place.
  std::string name = lower.substr(start);
  if (EndsWith(name, ".exe") || EndsWith(name, ".com")) name.resize(name.size() - 4);
  return name;
}

}  // namespace

ProgramRole RoleOf(std::string_view word, ProgramNames names) {
  const std::string name = ProgramName(word, names);
  // The longest listed name that fits: "python" before "py", "sqlite3" before "sqlite".
  const KnownProgram* best = nullptr;
  for (const KnownProgram& known : kKnownPrograms) {
    if (NamesProgram(name, known.name) && (!best || known.name.size() > best->name.size())) {
      best = &known;
    }
  }
  return best ? best->role : ProgramRole::kOther;
}

std::string_view RoleText(ProgramRole role) {
  switch (role) {
    case ProgramRole::kShell:
      return "the command shell";
    case ProgramRole::kInterpreter:
      return "the interpreter";
    case ProgramRole::kStreamEditor:
      return "the stream editor";
    case ProgramRole::kHandsOn:
      return "the program";
    case ProgramRole::kDatabase:
      return "the database shell";
    case ProgramRole::kDebugger:
      return "the debugger";
    case ProgramRole::kLauncher:
      return "the launcher";
    case ProgramRole::kOther:
      break;
  }
  return "the program";
}

std::optional<std::string_view> CodeFlagValue(ProgramRole role, std::string_view word,
                                              std::string_view next) {
  switch (role) {
    case ProgramRole::kInterpreter:
      return FlagValue(kInterpreterCodeFlags, word, next, "ceE");
    case ProgramRole::kStreamEditor:
      return FlagValue(kStreamEditorCodeFlags, word, next, "ef");
    case ProgramRole::kDebugger:
      return FlagValue(kDebuggerCodeFlags, word, next, "");
    case ProgramRole::kLauncher:
      return FlagValue(kLauncherCodeFlags, word, next, "");
    case ProgramRole::kShell:
    case ProgramRole::kHandsOn:
    case ProgramRole::kDatabase:
    case ProgramRole::kOther:
      break;
  }
  return std::nullopt;
}

bool GivesProgram(std::string_view option) {
  return Holds(kProgramOptions, option);
}

bool TakesValue(std::string_view option) {
  return Holds(kValueOptions, option);
}
