// What a program that a "=>" rule names does with the words after it, as far as console-server
// can know from its name. No list knows every program: these roles only pick out the programs
// that surely run the player's text, so that not even a rule's mark of trust lets them have it,
// and how each reads its options, so that the place where it takes its program is found
// whatever stands before it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "programs/program_files.h"

enum class ProgramRole {
  kOther,         // nothing known
  kShell,         // reads its arguments as commands (sh, bash, cmd, powershell...)
  kInterpreter,   // takes its first argument that is no option as its program (python, awk...)
  kStreamEditor,  // takes its first argument that is no option as its script (sed)
  kEditor,        // runs the commands given among its arguments (vim +CMD, emacs --eval)
  kHandsOn,       // hands its arguments on to a shell or a terminal (ssh, wsl, tmux, su...)
  kDatabase,      // runs them as SQL, whose dot-commands run a shell, unless given -safe
  kDebugger,      // runs the values of its command flags (gdb -ex)
  kLauncher,      // starts the program named among its arguments (sudo, env, nice, xargs...)
};

// The role of the program a word names, also with a version after its name (python3.12,
// perl5.36-x86_64-linux-gnu, bash5).
ProgramRole RoleOf(std::string_view word, ProgramNames names = kHostProgramNames);

// How a refusal names the role: "the command shell", "the interpreter"...
std::string_view RoleText(ProgramRole role);

// Each listed name with its role, for the tests.
struct NamedRole {
  std::string_view name;
  ProgramRole role;
};
std::vector<NamedRole> KnownProgramRoles();

// Where a field stands among the words that the program at words[at] reads, as that program
// reads its options.
enum class FieldPlace {
  kArgument,  // a plain argument, or a plain option's value
  kProgram,   // where the program takes its program, script, module or the program to start
  kCode,      // in the value of an option whose value is code or names code to load
  kOption,    // opens a word where the program still reads options, some of which run code
};

struct FieldReading {
  FieldPlace place = FieldPlace::kArgument;
  // The word that gives the program: the option whose value the field is (kCode), the option
  // that took code from the rule, or the script or program started. None when none came.
  std::optional<std::size_t> program;
  // Whether the program word names a file that runs (a script, or a program a launcher starts),
  // rather than code given in the rule (python3 -c CODE).
  bool programIsFile = false;
  // Whether the program still reads options at the field: "--" before it would keep the
  // player's text out of them.
  bool readsOptions = false;
  // Whether the program hands the words at the field on to a shell (sudo -s, su).
  bool toShell = false;
};

// Where the field at words[field] stands for the program at words[at], known by the name knownAs
// (the word, or the file that runs): a program of no known role reads it as an argument.
FieldReading ReadField(const std::vector<std::string>& words, std::size_t at, std::size_t field,
                       std::string_view knownAs, ProgramNames names = kHostProgramNames);

// Whether a shell runs the script file given as its first argument (sh note.sh), rather than
// taking every word as a command (cmd, busybox).
bool RunsScriptFile(std::string_view word, ProgramNames names = kHostProgramNames);
