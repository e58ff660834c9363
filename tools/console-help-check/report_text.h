// Text as console-help-check reports it: safe for a terminal, and names compared as Windows
// compares them.
#pragma once

#include <string>
#include <string_view>

// Bytes below 0x20 and 0x7F as \xNN, so that a hostile help file cannot move the cursor, clear
// a line or hide text of the report. With nonAscii, bytes from 0x80 on too.
std::string Escaped(std::string_view text, bool nonAscii = false);

// The name upper-cased letter by letter, as Windows compares file names: ASCII, Latin-1 and
// Latin Extended-A letters. Bytes that are no well-formed UTF-8 stay as they are.
std::string CaseFolded(std::string_view name);
