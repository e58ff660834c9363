// Where the program of a "=>" rule is found, and which programs a rule may not run.
#pragma once

#include <string>
#include <string_view>

struct FoundProgram {
  std::string path;   // the full path of the program, empty when not found
  std::string error;  // why it is not found, or why the file found cannot run
};

// A name with a folder in it is found from the rule file's folder (or is absolute). A bare name
// is found beside the rule file, and else on the PATH (absolute folders only, and only a
// regular file that can run); nowhere else. On Windows, ".exe" is added to a name without an
// extension. A file found beside the rule file that cannot run is an error, not skipped.
FoundProgram FindProgram(const std::string& name, const std::string& ruleFolder);

// A .bat or .cmd file, which Windows runs through cmd.exe: that parses its arguments again, and
// no quoting makes a player's text safe there.
bool IsBatchFile(std::string_view name);

// A command shell (cmd, powershell, pwsh, sh, bash, dash, zsh, ksh, fish, in any folder, with
// or without ".exe"): it reads its arguments as commands.
bool IsCommandShell(std::string_view name);
