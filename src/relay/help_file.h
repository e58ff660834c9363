// Help files: one JSON file per command, whose entries are the lines shown in the chat.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// The end of every help file name: the command "spawn" reads "spawnHelp.json".
constexpr std::string_view kHelpFileSuffix = "Help.json";

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

// How a request went: why the entry stopped early (empty when it did not), and how many of its
// elements past the line bound were left out unseen.
struct HelpLinesOutcome {
  std::string problem;
  std::size_t leftOut = 0;
};

// Calls showLine(text) for each line that the entry for the argument shows, in order, at most
// maxLines of them. An argument that is no member key falls back to the entry "help". When a line
// is no string the entry stops there, with the lines before it shown.
template <typename ShowLine>
HelpLinesOutcome ForEachHelpLine(const nlohmann::json& value, std::string_view argument,
                                 ShowLine&& showLine, std::size_t maxLines = kMaxHelpLines);

// --- implementation of the template ---

// The entry for the argument, or nullptr when there is none (which shows nothing). Fails, with
// error set, for a top-level value that is not an object or null.
const nlohmann::json* SelectHelpEntry(const nlohmann::json& value, std::string_view argument,
                                      std::string& error);

std::string NotALineError(const nlohmann::json& line);

template <typename ShowLine>
HelpLinesOutcome ForEachHelpLine(const nlohmann::json& value, std::string_view argument,
                                 ShowLine&& showLine, std::size_t maxLines) {
  HelpLinesOutcome outcome;
  const nlohmann::json* entry = SelectHelpEntry(value, argument, outcome.problem);
  if (entry == nullptr) return outcome;
  if (entry->is_null()) return outcome;

  // An array or object gives its elements (an object's in key order); anything else is one line.
  auto showOne = [&](const nlohmann::json& line) {
    if (!line.is_string()) return false;
    showLine(line.get_ref<const std::string&>());
    return true;
  };
  if (entry->is_array() || entry->is_object()) {
    std::size_t shown = 0;
    for (const nlohmann::json& line : *entry) {
      if (shown == maxLines) {
        outcome.leftOut = entry->size() - shown;
        break;
      }
      if (!showOne(line)) {
        outcome.problem = NotALineError(line);
        break;
      }
      ++shown;
    }
  } else if (maxLines > 0 && !showOne(*entry)) {
    outcome.problem = NotALineError(*entry);
  } else if (maxLines == 0) {
    outcome.leftOut = 1;
  }
  return outcome;
}
