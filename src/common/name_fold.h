// Names as Windows compares them: a help file, a program or a folder is found whatever the case
// of its letters. The plugin, console-server and console-help-check fold names with this one
// function, so that none of them tells two names apart that Windows takes for one.
#pragma once

#include <string>
#include <string_view>

// The name with each letter upper-cased by its simple one-to-one mapping: ASCII, Latin-1, Latin
// Extended-A, Greek (with the vowels with tonos) and Cyrillic letters. Letters whose upper case
// is ASCII (dotless i, long s) or has no one-letter form (sharp s) stay as they are, as do bytes
// that are no well-formed UTF-8.
std::string FoldedName(std::string_view name);

// Whether Windows takes the two names for one.
bool SameName(std::string_view a, std::string_view b);

// Whether the name ends in end, as Windows compares names ("kickhelp.json" ends in "Help.json").
bool EndsWithName(std::string_view name, std::string_view end);
