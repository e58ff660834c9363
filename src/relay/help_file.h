// Help files: one JSON file per command, whose entries are the lines shown in the chat.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

// Help files live here, relative to the game's working directory, and every name ends so: the
// command "spawn" reads "nativePC/plugins/ConsoleHelp/spawnHelp.json".
constexpr std::string_view kHelpDirectory = "nativePC/plugins/ConsoleHelp/";
constexpr std::string_view kHelpFileSuffix = "Help.json";

// The entry shown for a command alone and for every argument without an entry of its own.
constexpr std::string_view kDefaultEntry = "help";

// A help file larger than this is not read: four times the largest help file anyone is known to
// keep (1 MiB, 20,000 lines), while the game's memory and the worker's pause stay small.
constexpr std::uint64_t kMaxHelpFileBytes = 4u << 20;

// Where the help of a command lives, relative to the game's working directory. The command goes
// in as typed, so "a/b" reads from a subdirectory.
std::string HelpFilePath(std::string_view command);

// The size in bytes of a help file opened as in, read from its end before anything of it is
// read; the stream is left at its start. -1 when it has no size (a folder opens on some systems).
std::int64_t HelpFileSize(std::istream& in);

// Why a help file of this size is not read.
std::string TooLargeReason(std::int64_t size);

// Reads the stream into text, at most kMaxHelpFileBytes of it: a file that grows while it is read
// is read no further than that. Returns why the file is not read when it proves larger. size is
// what HelpFileSize found, so that a file that keeps its size is read into one allocation.
std::optional<std::string> ReadHelpText(std::istream& in, std::int64_t size, std::string& text);
