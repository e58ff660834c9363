// Text helpers shared by the parts of console-server.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Control bytes as \xNN, so that the text prints on one line and cannot steer a terminal.
std::string Printable(std::string_view bytes);

// The longest start of text of at most limit bytes that does not end inside a UTF-8 sequence.
std::string_view CutAtUtf8Boundary(std::string_view text, std::size_t limit);

// A piece of a line from outside for an error message: at most 200 bytes, printable.
std::string Excerpt(std::string_view text);
