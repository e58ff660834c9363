// Selecting the lines that a help request shows, while the help file is parsed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// A request shows at most this many lines. A chat shows about a dozen lines at a time and keeps
// a few screens of them; help that runs longer scrolls away unread, and a longer entry would only
// keep the worker from the chat (where a "/" line typed meanwhile would go out unblanked).
constexpr std::size_t kMaxHelpLines = 100;

// A longer help line is cut to this many bytes: the game's chat routine gets lines of at most
// some thousand bytes from the console program, and nothing says that it copes with megabytes.
constexpr std::size_t kMaxHelpLineBytes = 4096;

// Help files nest two or three levels; a file nested deeper than this is not read, so that its
// parse cannot take memory and time without end.
constexpr std::size_t kMaxHelpDepth = 64;

// What a help file shows for one argument.
struct HelpLines {
  // Why no value could be read from the file (malformed, nested too deep): nothing is shown.
  std::optional<std::string> unreadable;
  // The entry's lines, in order: at most maxLines, each cut to kMaxHelpLineBytes.
  std::vector<std::string> lines;
  // Why the request stopped early: a top level that is no object, or a line that is no string
  // (the lines before it are kept).
  std::optional<std::string> problem;
  std::size_t leftOut = 0;   // elements of the entry past the line bound, never looked at
  std::size_t cutLines = 0;  // lines that were longer than kMaxHelpLineBytes
};

// Reads the first JSON value of text and selects what the entry for the argument shows: the
// member whose key is the whole argument, else the member "help", the last of duplicate keys
// winning; an array's elements, an object's member values in key order, or a single value. Only
// the selected lines are kept, never a tree of the whole file, so memory stays bounded by what
// is shown; what follows the first value is never examined.
HelpLines SelectHelpLines(std::string_view text, std::string_view argument,
                          std::size_t maxLines = kMaxHelpLines);

// The line cut to at most maxBytes, never inside a UTF-8 sequence.
std::string_view CutHelpLine(std::string_view line, std::size_t maxBytes = kMaxHelpLineBytes);

// Why a request showed only the first maxLines lines of its entry.
std::string LeftOutReason(std::size_t leftOut, std::size_t maxLines = kMaxHelpLines);

// Why a request showed some of its lines cut.
std::string CutLinesReason(std::size_t cutLines);
