// A program built with an ANSI main() gets its command line converted to the system's code
// page, and Windows' best-fit tables turn characters that the code page lacks into look-alikes:
// a fullwidth quote becomes '"', a fullwidth backslash or a yen sign '\'. Its C runtime would
// then split the quoted argument where the quoting did not expect a quote: a player's word could
// become several arguments. Each such character is replaced by the one it would become before
// the argument is quoted, so that the quoting escapes it for every program alike.
#pragma once

#include <string>
#include <string_view>

// The argument with each character that a best-fit table maps to '"', '\' or a space replaced
// by that character.
std::wstring WithoutBestFitLookalikes(std::wstring_view argument);

// The replacements, for the README and the tests: each look-alike with what it becomes.
struct BestFitLookalike {
  wchar_t lookalike;
  wchar_t becomes;
};
extern const BestFitLookalike kBestFitLookalikes[];
extern const std::size_t kBestFitLookalikeCount;
