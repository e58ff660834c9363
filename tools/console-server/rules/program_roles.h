// What a program that a "=>" rule names does with the words after it, as far as console-server
// can know from its name. No list knows every program: these roles only pick out the programs
// that surely run the player's text, so that not even a rule's mark of trust lets them have it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "programs/program_files.h"

enum class ProgramRole {
  kOther,         // nothing known
  kShell,         // reads its arguments as commands (sh, bash, cmd, powershell...)
  kInterpreter,   // takes its first argument that is no option as its program (python, awk...)
  kStreamEditor,  // takes its first argument that is no option as its script (sed)
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

// The value of a code flag of a program of that role that the word is or starts with: the rest of
// the word, or (when the flag ends the word) the next word. None when the word is no code flag of
// that role: grep's -e is none, python's -c is one.
std::optional<std::string_view> CodeFlagValue(ProgramRole role, std::string_view word,
                                              std::string_view next);

// Whether the word, after an interpreter or a stream editor, gives it its program (-f FILE,
// -m MODULE), or takes the next word as its value (-F SEPARATOR, -W OPTION).
bool GivesProgram(std::string_view option);
bool TakesValue(std::string_view option);
