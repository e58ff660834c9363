// How console-server quotes a line from outside (a rule, a player's word) in an error message.
#pragma once

#include <string>
#include <string_view>

// A piece of a line from outside for an error message: at most 200 bytes, printable.
std::string Excerpt(std::string_view text);
