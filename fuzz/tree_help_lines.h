// Help requests answered the way they were before lines were chosen while parsing: the file read
// whole into a tree of JSON values, then the entry looked up in it. Kept as the oracle that the
// event-based selection must agree with, under the same bounds (nesting depth, long lines).
#pragma once

#include <cstddef>
#include <string_view>

#include <nlohmann/json.hpp>

#include "relay/help_selection.h"

// The first JSON value of text as a tree; unreadable says why there is none.
nlohmann::json ParseHelpTree(std::string_view text, HelpLines& selected);

// What the tree shows for the argument.
HelpLines TreeHelpLines(std::string_view text, std::string_view argument,
                        std::size_t maxLines = kMaxHelpLines);
