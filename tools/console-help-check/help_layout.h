// Where things are in a help file's text, by file line: the selection reports chat lines only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct HelpLayout {
  // The file line of each chat line of the entry asked for, in the order the chat shows them
  // (an object's member values in key order); of its last copy, which is the one the plugin reads.
  std::vector<std::size_t> entryLines;
  // Top-level keys that appear more than once, with the file lines of each copy.
  std::vector<std::pair<std::string, std::vector<std::size_t>>> duplicateKeys;
};

// The layout of the first JSON value of text, which parses; entry is the top-level key whose
// chat lines are looked for (empty: none).
HelpLayout LayoutOf(std::string_view text, std::string_view entry);
