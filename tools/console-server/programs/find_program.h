// Where the program of a "=>" rule is found, and which programs a rule may not run.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

// The program's full path, or why it cannot run: found nowhere (see LocateProgram), or found but
// not a file that can run (see RunnableProgram).
Result<std::string> FindProgram(const std::string& name, const std::string& ruleFolder);

// Where the program is, or why it is nowhere. A name with a folder in it is found from the rule
// file's folder (or is absolute). A bare name is found beside the rule file, and else on the PATH
// (absolute folders only, and only a regular file that can run); nowhere else. On Windows, ".exe"
// is added to a name without an extension. A file found beside the rule file or by its path is
// where the program is even when it cannot run: it is not skipped for one on the PATH.
Result<std::string> LocateProgram(const std::string& name, const std::string& ruleFolder);

// The PATH's absolute folders, in its order: a relative one would name another place once the
// program runs in the rule file's folder.
std::vector<std::filesystem::path> AbsolutePathFolders();

// The path, when the file there is one that can run; else why not.
Result<std::string> RunnableProgram(const std::string& path, const std::string& name);

// A .bat or .cmd file, which Windows runs through cmd.exe: that parses its arguments again, and
// no quoting makes a player's text safe there.
bool IsBatchFile(std::string_view name);

// The file that runs when the program at path starts: links followed and, on Windows, short
// names made long. The path itself when it cannot be followed.
std::string RealFile(const std::string& path);

// Letters a name may differ by from a file beside the rule file, for that file to be told as
// the one meant.
constexpr std::size_t kMostLettersOff = 2;

// The name of the file beside the rule file nearest to name (by letters added, removed or
// changed, in any case), when one is within kMostLettersOff and nearer than half the name:
// "weather.py" for "weathr.py".
std::optional<std::string> NearestFileBeside(const std::string& name,
                                             const std::string& ruleFolder);
