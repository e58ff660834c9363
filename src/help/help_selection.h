// Selecting the lines that a help request shows, while the help file is parsed.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "plugin_numbers.h"

// What a help file shows for one argument. SelectHelpLines notes, in the order the plugin logs
// them, each part that was not shown as written: lines cut, a line that failed, lines left out.
struct HelpLines {
  // The entry's lines, in order: at most maxLines, each cut to kMaxHelpLineBytes.
  std::vector<std::string> lines;
  // Why the request stopped early: a top level that is no object, or a line that is no string
  // (the lines before it are kept).
  std::optional<Reason> problem;
  // Elements of the entry past the line bound, never looked at. For an object entry these are
  // members, and a key given again past the bound counts again: telling repeats apart would mean
  // keeping every key.
  std::size_t leftOut = 0;
  bool leftOutOfObject = false;
  std::size_t cutLines = 0;  // lines that were longer than kMaxHelpLineBytes
};

// Reads the first JSON value of text and selects what the entry for the argument shows, or says
// why no value could be read (malformed, nested too deep), when nothing is shown: the
// member whose key is the whole argument, else the member "help", the last of duplicate keys
// winning; an array's elements, an object's member values in key order, or a single value. Only
// the selected lines are kept, never a tree of the whole file, so memory stays bounded by what
// is shown; what follows the first value is never examined.
Result<Noted<HelpLines>> SelectHelpLines(std::string_view text, std::string_view argument,
                                         std::size_t maxLines = kMaxHelpLines);

// The notes on what was selected, in the order the plugin logs them.
std::vector<Reason> HelpLinesNotes(const HelpLines& selected, std::size_t maxLines = kMaxHelpLines);
