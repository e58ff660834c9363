// What differs between systems in finding a program file: the PATH and its separator, the name a
// program is given without an extension, whether a file can run, and which file a path is.
// find_program.cpp writes the search once on top of these; program_files_posix.cpp and
// program_files_win.cpp hold them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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

// Which file a path is, whatever name it is reached by: its device and inode on POSIX, its
// volume and file id on Windows; and how many names (hard links) it has.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t names = 0;
  bool SameFile(const FileIdentity& other) const {
    return volume == other.volume && file == other.file;
  }
};

// The identity of the file that the path names, links followed; none when it cannot be read.
std::optional<FileIdentity> IdentityOf(const std::filesystem::path& file);

// The path with each short (8.3) name made long on Windows, where POWERS~1.EXE may name
// powershell.exe; the path itself elsewhere.
std::filesystem::path LongPathOf(const std::filesystem::path& file);
