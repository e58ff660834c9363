// Selecting the lines that a help request shows, while the help file is parsed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "plugin_numbers.h"

// What a note on a help request says happened, for a caller that branches on it.
enum class HelpNoteKind {
  kLinesCut,      // lines longer than kMaxHelpLineBytes were cut to it
  kFailed,        // the request stopped early: a top level that is no object, or a line that is
                  // no string (the lines before it are kept)
  kLinesLeftOut,  // the entry has more elements than a request shows
};

struct HelpNote {
  HelpNoteKind kind;
  std::string text;  // the sentence the plugin logs
  bool operator==(const HelpNote& other) const { return kind == other.kind && text == other.text; }
};

// What a help file shows for one argument: the entry's lines, in order, at most maxLines, each
// cut to kMaxHelpLineBytes; and a note for each part that was not shown as written, in the order
// the plugin logs them.
struct HelpLines {
  std::vector<std::string> lines;
  std::vector<HelpNote> notes;
};

// The notes' sentences, each written here only.
HelpNote LinesCutNote(std::size_t count);
HelpNote TopLevelNotAnObjectNote(std::string_view type);
HelpNote NotALineNote(std::string_view type);
// Elements of the entry past the line bound, never looked at. For an object entry these are
// members, and a key given again past the bound counts again: telling repeats apart would mean
// keeping every key.
HelpNote LinesLeftOutNote(std::size_t count, std::size_t maxLines, bool ofObject);

// Reads the first JSON value of text and selects what the entry for the argument shows, or says
// why no value could be read (malformed, nested too deep), when nothing is shown: the
// member whose key is the whole argument, else the member "help", the last of duplicate keys
// winning; an array's elements, an object's member values in key order, or a single value. Only
// the selected lines are kept, never a tree of the whole file, so memory stays bounded by what
// is shown; what follows the first value is never examined.
Result<HelpLines> SelectHelpLines(std::string_view text, std::string_view argument,
                                  std::size_t maxLines = kMaxHelpLines);
