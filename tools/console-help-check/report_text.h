// Names as console-help-check compares them: as Windows compares file names.
#pragma once

#include <string>
#include <string_view>

// The name upper-cased letter by letter, as Windows compares file names: ASCII, Latin-1 and
// Latin Extended-A letters. Bytes that are no well-formed UTF-8 stay as they are.
std::string CaseFolded(std::string_view name);
