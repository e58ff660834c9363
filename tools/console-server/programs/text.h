// console-server's text helpers: how it quotes a line from outside (a rule, a player's word) in an
// error message, and how it compares file names as Windows does.
#pragma once

#include <string>
#include <string_view>

// A piece of a line from outside for an error message: at most 200 bytes, printable.
std::string Excerpt(std::string_view text);

// The text with ASCII letters in lower case, as Windows compares file names.
std::string Lowercase(std::string_view text);

// The name without trailing dots and spaces, which Windows drops: "x.bat." still runs x.bat.
std::string_view WithoutTrailingDots(std::string_view name);
