// Plain words for the mistakes that most often keep a help file from parsing, beside the JSON
// library's message, which names only where reading stopped.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class ParseMistake {
  kNone,           // none of those below, or the text parses
  kUtf16,          // a UTF-16 file (its byte-order mark), as Windows Notepad may save one
  kTrailingComma,  // a comma before ] or }
  kSingleQuotes,   // a string in single quotes
  kComment,        // a comment: // ..., /* ... */ or # ...
};

struct LikelyMistake {
  ParseMistake mistake = ParseMistake::kNone;
  std::size_t byte = 0;  // where it is, from 0: for a trailing comma the comma, not the bracket
};

// What most likely keeps text from parsing, read as the plugin reads it: up to the end of its
// first value.
LikelyMistake FindLikelyMistake(std::string_view text);

// The mistake in plain words, with what to do; empty for none. text is the text it was found in,
// which gives a position its line and column.
std::string MistakeHint(const LikelyMistake& likely, std::string_view text);
