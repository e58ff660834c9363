// Help requests answered the way they were before lines were chosen while parsing: the file read
// whole into a tree of JSON values, then the entry looked up in it. Kept as the oracle that the
// event-based selection must agree with, under the same bounds (nesting depth, long lines).
#pragma once

#include <cstddef>
#include <string_view>

#include <nlohmann/json.hpp>

#include "help/help_selection.h"

// The first JSON value of text as a tree, or why there is none.
Result<nlohmann::json> ParseHelpTree(std::string_view text);

// What the tree shows for the argument.
Result<HelpLines> TreeHelpLines(std::string_view text, std::string_view argument,
                                std::size_t maxLines = kMaxHelpLines);
