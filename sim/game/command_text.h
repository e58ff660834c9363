// Reading the words of a command line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Takes the bytes before the first space off `rest` and returns them; `rest` keeps what follows
// that space (or becomes empty when there is none).
std::string_view TakeWord(std::string_view& rest);

// Turns every "\xNN" (two hex digits, either case) into its byte; anything else stays, so a
// lone backslash may be typed at a keyboard.
std::string DecodeEscapes(std::string_view text);

// Decimal, or hex after "0x". The whole word must be the number.
bool ParseUnsigned(std::string_view word, std::uint64_t& value);
// As ParseUnsigned, with an optional leading '-'.
bool ParseSigned(std::string_view word, std::int64_t& value);
