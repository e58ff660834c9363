// Help files: one JSON file per command, whose entries are the lines shown in the chat.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "plugin_numbers.h"

// Help files live here, relative to the game's working directory, and every name ends so: the
// command "spawn" reads "nativePC/plugins/ConsoleHelp/spawnHelp.json".
constexpr std::string_view kHelpDirectory = "nativePC/plugins/ConsoleHelp/";
constexpr std::string_view kHelpFileSuffix = "Help.json";

// The entry shown for a command alone and for every argument without an entry of its own.
constexpr std::string_view kDefaultEntry = "help";

// Where the help of a command lives, relative to the game's working directory. The command goes
// in as typed, so "a/b" reads from a subdirectory.
std::string HelpFilePath(std::string_view command);

// The size in bytes of a help file opened as in, read from its end before anything of it is
// read; the stream is left at its start. None for a file without a size (a folder opens on some
// systems), which is as good as missing.
std::optional<std::uint64_t> HelpFileSize(std::istream& in);

// Reads the stream, at most kMaxHelpFileBytes of it: a file that grows while it is read is read
// no further than that. Gives the text, or why the file is not read: a size above the bound,
// found before anything is read, or a file that proves larger as it is read. size is what
// HelpFileSize found, so that a file that keeps its size is read into one allocation.
Result<std::string> ReadHelpText(std::istream& in, std::uint64_t size);
