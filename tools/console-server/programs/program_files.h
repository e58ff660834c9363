// What differs between systems in finding a program file: the PATH and its separator, the name a
// program is given without an extension, and whether a file can run. find_program.cpp writes the
// search once on top of these; program_files_posix.cpp and program_files_win.cpp hold them.
#pragma once

#include <filesystem>
#include <string>

#include "common/result.h"

// How a system finds a program from the name a rule gives it.
enum class ProgramNames {
  kPosix,    // the file name exactly, but for a Windows program (.exe or .com)
  kWindows,  // in any case, without trailing dots and spaces, with or without .exe or .com
};

// The host's way, and the character between the folders of its PATH.
#ifdef _WIN32
constexpr ProgramNames kHostProgramNames = ProgramNames::kWindows;
constexpr char kPathSeparator = ';';
#else
constexpr ProgramNames kHostProgramNames = ProgramNames::kPosix;
constexpr char kPathSeparator = ':';
#endif  // _WIN32

// The PATH's folders, as one string in UTF-8.
std::string PathVariable();

// The file a program name means: on Windows, a name without an extension means the .exe.
std::filesystem::path ProgramFileFor(const std::string& name);

// Whether the system starts the file as a program, or why not.
Result<> CanRun(const std::filesystem::path& file);
