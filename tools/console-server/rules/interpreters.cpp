#include "rules/interpreters.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>

#include "common/text_bytes.h"
#include "programs/text.h"
#include "rules/rule_fields.h"

namespace {

constexpr std::string_view kShells[] = {"cmd",   "powershell", "pwsh", "sh",   "bash",
                                        "rbash", "dash",       "ash",  "zsh",  "ksh",
                                        "mksh",  "csh",        "tcsh", "fish", "busybox"};

// Interpreters that take their first argument that is no option as their program.
constexpr std::string_view kProgramFirst[] = {"awk",    "gawk",   "mawk", "nawk",    "sed",  "gsed",
                                              "perl",   "python", "py",   "pythonw", "ruby", "node",
                                              "nodejs", "php",    "lua",  "tclsh"};

// Options of those that give the program (a file, or text of the rule's own).
constexpr std::string_view kProgramOptions[] = {"-f", "--file", "-e", "--expression", "--source"};

// Options of those whose value is the next word, which is then no program.
constexpr std::string_view kOptionsWithValue[] = {
    "-F", "-v", "-W", "-X", "-I", "--assign", "--field-separator"};

// Flags whose value is code, compared exactly, and those of Windows programs, in any case.
constexpr std::string_view kCodeFlags[] = {"-c", "-e", "-E", "--eval"};
constexpr std::string_view kWindowsCodeFlags[] = {"-command", "-encodedcommand"};
constexpr std::string_view kCmdCodeFlags[] = {"/c", "/k", "/r"};
// A bundle of one-letter flags ending in one of these takes the next word as code (perl -ne).
constexpr std::string_view kCodeLetters = "ceE";

template <std::size_t N>
bool Holds(const std::string_view (&list)[N], std::string_view word) {
  return std::find(std::begin(list), std::end(list), word) != std::end(list);
}

// A name of the list, or one with a version after it (python3, python3.12, perl5.36).
template <std::size_t N>
bool NamesOneOf(const std::string_view (&list)[N], std::string_view name) {
  return std::any_of(std::begin(list), std::end(list), [&](std::string_view listed) {
    if (name.substr(0, listed.size()) != listed) return false;
    const std::string_view version = name.substr(listed.size());
    return version.find_first_not_of("0123456789.") == std::string_view::npos;
  });
}

// The value of the code flag that the word is or starts with: the rest of the word, or (when
// the flag ends the word) the next word. None when the word is no code flag.
std::optional<std::string_view> CodeFlagValue(std::string_view word, std::string_view next) {
  const std::string lower = Lowercase(word);
  if (Holds(kCodeFlags, word) || Holds(kWindowsCodeFlags, lower) || Holds(kCmdCodeFlags, lower)) {
    return next;
  }
  for (const std::string_view flag :
       {std::string_view("--eval"), kWindowsCodeFlags[0], kWindowsCodeFlags[1]}) {
    const std::string_view start = std::string_view(lower).substr(0, flag.size() + 1);
    if (start == std::string(flag) + "=" || start == std::string(flag) + ":") {
      return word.substr(flag.size() + 1);
    }
  }
  for (const std::string_view flag : kCmdCodeFlags) {
    if (lower.substr(0, 2) == flag && word.substr(2, 1) == "{") return word.substr(2);
  }
  if (word.size() < 2 || word[0] != '-' || word[1] == '-') return std::nullopt;
  std::size_t letters = 1;
  while (letters < word.size() && std::isalpha(static_cast<unsigned char>(word[letters]))) {
    ++letters;
  }
  const std::size_t code = word.substr(0, letters).find_last_of(kCodeLetters);
  if (code == std::string_view::npos || code == 0) return std::nullopt;
  return code + 1 == word.size() ? next : word.substr(code + 1);
}

// Whether the words between an interpreter of kProgramFirst and the first field give it its
// program, so that the field is no program.
bool GivesProgram(const std::vector<std::string>& words, std::size_t from, std::size_t field) {
  for (std::size_t i = from; i < field; ++i) {
    if (Holds(kProgramOptions, words[i])) return true;
    if (Holds(kOptionsWithValue, words[i])) {
      ++i;
    } else if (words[i].empty() || words[i][0] != '-') {
      return true;
    }
  }
  return false;
}

std::string Leave(std::string_view what) {
  return std::string(what) +
         "; leave {line}, {command} and {args} out and have a script of yours read the text from "
         "the environment variable CONSOLE_ARGS, or pass them to a script after --";
}

}  // namespace

std::string ProgramName(std::string_view word, ProgramNames names) {
  // Linux runs a Windows program too, where Windows' interop is on (WSL): it finds "cmd.exe".
  const std::string lower = Lowercase(WithoutTrailingDots(word));
  const bool windows =
      names == ProgramNames::kWindows || EndsWith(lower, ".exe") || EndsWith(lower, ".com");
  const std::size_t folder = word.find_last_of(windows ? "/\\" : "/");
  std::string name(folder == std::string_view::npos ? word : word.substr(folder + 1));
  if (!windows) return name;
  name = Lowercase(WithoutTrailingDots(name));
  if (EndsWith(name, ".exe") || EndsWith(name, ".com")) name.resize(name.size() - 4);
  return name;
}

bool IsCommandShell(std::string_view word, ProgramNames names) {
  return NamesOneOf(kShells, ProgramName(word, names));
}

Result<> CheckNoCodeFromPlayer(const std::vector<std::string>& words, ProgramNames names) {
  const auto first = std::find_if(words.begin(), words.end(),
                                  [](const std::string& word) { return HoldsField(word); });
  if (first == words.end()) return Done{};
  const std::size_t field = static_cast<std::size_t>(first - words.begin());
  const std::string& fieldWord = words[field];
  for (std::size_t i = 0; i < field; ++i) {
    if (IsCommandShell(words[i], names)) {
      return Reason{Leave("will not give the player's text to the command shell " +
                          Excerpt(words[i]) + ", which would run it as commands")};
    }
  }
  for (std::size_t i = 0; i <= field; ++i) {
    const std::string_view next =
        i + 1 < words.size() ? std::string_view(words[i + 1]) : std::string_view();
    const std::optional<std::string_view> value = CodeFlagValue(words[i], next);
    if (value && HoldsField(*value)) {
      return Reason{
          Leave("will not give the player's text to an interpreter: " + Excerpt(words[i]) +
                " would take " + Excerpt(fieldWord) + " as code to run")};
    }
  }
  for (std::size_t i = 0; i < field; ++i) {
    if (NamesOneOf(kProgramFirst, ProgramName(words[i], names)) &&
        !GivesProgram(words, i + 1, field)) {
      return Reason{Leave("will not give the player's text to " + Excerpt(words[i]) +
                          ", which would run " + Excerpt(fieldWord) +
                          " as its program (give it a program file, as with -f FILE)")};
    }
  }
  return Done{};
}
