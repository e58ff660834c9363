// Which "=>" rules would let an interpreter run the player's text as code. A rule is refused
// when, among its words before the first one that holds a field ({line}, {command}, {args}):
// - a word names a command shell: the shell itself, or a program that starts the words after it
//   (env, nice, timeout, conhost and the like);
// - a word is a code flag (-c, -e, -E, --eval, -Command, -EncodedCommand, /c, /k, /r, or a
//   bundle of letters ending in c, e or E such as -ne) whose value holds the field;
// - a word names an interpreter whose first argument is its program (awk, sed, perl, python...)
//   and no word before the field gives the program instead.
// A program of the user's own that evaluates its arguments is not seen: that is the user's to
// guard, with "--" before {args} or by reading CONSOLE_ARGS.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "programs/program_files.h"

// The name of the program that a word names, as the system finds it: without its folder and, on
// Windows, in lower case and without .exe or .com. A name ending in .exe or .com names a Windows
// program on any system (Linux runs one through Windows' interop), and is taken as Windows does.
std::string ProgramName(std::string_view word, ProgramNames names);

// A command shell (cmd, powershell, pwsh, sh, bash, rbash, dash, ash, zsh, ksh, mksh, csh, tcsh,
// fish, busybox), in any folder: it reads its arguments as commands.
bool IsCommandShell(std::string_view word, ProgramNames names = kHostProgramNames);

// Why the words of a "=>" rule (its program, then its arguments, as split) would hand the
// player's text to an interpreter as code; Done when they do not.
Result<> CheckNoCodeFromPlayer(const std::vector<std::string>& words,
                               ProgramNames names = kHostProgramNames);
