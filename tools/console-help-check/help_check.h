// Checking help files: what the game shows for each entry, read through the plugin's own code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <istream>
#include <ostream>
#include <string>

#include "common/result.h"

// How much of the ignored text after the first value a warning quotes.
constexpr std::size_t kQuotedTextLength = 30;
// Each entry is checked by a parse of the whole file, as the game reads it for each request; a
// file of more entries than any help needs is checked only this far.
constexpr std::size_t kMaxCheckedEntries = 256;
// A hostile file repeats keys without end: the report names this many keys, and this many places
// of each.
constexpr std::size_t kMostDuplicatesNamed = 10;

// How a check ends, from best to worst; a run exits with the worst result of its paths. It grades
// the report, whose lines say why, and is no reason of its own.
enum class CheckGrade {
  kOk = 0,          // every file parses and no entry fails; warnings allowed
  kFails = 1,       // some request would fail: a parse error, a top level that is no object,
                    // or a line that is no string
  kUnreadable = 2,  // a path that cannot be read
};

// Reports on out what the game shows for each entry of the help value at the start of in, the
// help file of command, read within the plugin's bounds: kFails when some request would fail.
// size is the file's size where known, so that it is read into one allocation.
CheckGrade CheckHelpText(std::istream& in, const std::string& command, std::ostream& out,
                         std::uint64_t size = 0);

// Checks one help file, or a device or a link to one, which the plugin reads as a file; what is no
// file (missing, a pipe) cannot be read. helpFolder is the ConsoleHelp folder it was found in,
// which gives the command its subfolder prefix; empty for a file named on its own.
CheckGrade CheckHelpFile(const std::filesystem::path& file, const std::filesystem::path& helpFolder,
                         std::ostream& out);

// The ConsoleHelp folder in a game folder (nativePC/plugins/ConsoleHelp), a nativePC folder or
// a plugins folder, names compared as Windows compares them; the folder itself when it holds
// none, as a ConsoleHelp folder does.
std::filesystem::path FindHelpFolder(const std::filesystem::path& folder);

// Checks a help file, or every help file in a folder and its subfolders in order of their paths;
// a game folder or a plugins folder is checked from its ConsoleHelp folder.
CheckGrade CheckHelpFilesAt(const std::filesystem::path& path, std::ostream& out);
