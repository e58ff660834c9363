// What differs between systems in finding a program file: the PATH and its separator, the name a
// program is given without an extension, and whether a file can run. find_program.cpp writes the
// search once on top of these; program_files_posix.cpp and program_files_win.cpp hold them.
#pragma once

#include <filesystem>
#include <string>

#include "common/result.h"

// The character between the folders of the PATH.
extern const char kPathSeparator;

// The PATH's folders, as one string in UTF-8.
std::string PathVariable();

// The file a program name means: on Windows, a name without an extension means the .exe.
std::filesystem::path ProgramFileFor(const std::string& name);

// Whether the system starts the file as a program, or why not.
Result<> CanRun(const std::filesystem::path& file);
