// Help files: one JSON file per command, whose entries are the lines shown in the chat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

// Help files live here, relative to the game's working directory, and every name ends so: the
// command "spawn" reads "nativePC/plugins/ConsoleHelp/spawnHelp.json".
constexpr std::string_view kHelpDirectory = "nativePC/plugins/ConsoleHelp/";
constexpr std::string_view kHelpFileSuffix = "Help.json";

// The entry shown for a command alone and for every argument without an entry of its own.
constexpr std::string_view kDefaultEntry = "help";

// A request shows at most this many lines. A chat shows about a dozen lines at a time and keeps
// a few screens of them; help that runs longer scrolls away unread, and a longer entry would only
// keep the worker from the chat (where a "/" line typed meanwhile would go out unblanked).
constexpr std::size_t kMaxHelpLines = 100;

// A help file larger than this is not read: four times the largest help file anyone is known to
// keep (1 MiB, 20,000 lines), while the game's memory and the worker's pause stay small.
constexpr std::uint64_t kMaxHelpFileBytes = 4u << 20;

// Where the help of a command lives, relative to the game's working directory. The command goes
// in as typed, so "a/b" reads from a subdirectory.
std::string HelpFilePath(std::string_view command);

// Reads one JSON value from the start of the stream; what follows it is never examined.
// Returns false, with the JSON library's message in error, when no value can be read.
bool ReadHelpValue(std::istream& in, nlohmann::json& value, std::string& error);

// The size in bytes of a help file opened as in, read from its end before anything of it is
// read; the stream is left at its start. -1 when it has no size (a folder opens on some systems).
std::int64_t HelpFileSize(std::istream& in);

// Why a help file of this size is not read.
std::string TooLargeReason(std::int64_t size);

// Why a request showed only the first maxLines lines of its entry.
std::string LeftOutReason(std::size_t leftOut, std::size_t maxLines = kMaxHelpLines);

// What the entry for an argument shows: its lines, in order and at most maxLines of them (views
// into the parsed value); why it stopped early, when it did (empty otherwise); and how many of
// its elements past the line bound were left out unseen. An argument that is no member key falls
// back to the entry "help". When a line is no string the entry stops there, with the lines before
// it kept.
struct HelpLines {
  std::vector<std::string_view> lines;
  std::string problem;
  std::size_t leftOut = 0;
};

HelpLines SelectHelpLines(const nlohmann::json& value, std::string_view argument,
                          std::size_t maxLines = kMaxHelpLines);
