// console-server's file name helpers: how it compares file names as Windows does.
#pragma once

#include <string>
#include <string_view>

// The text with ASCII letters in lower case, as Windows compares file names.
std::string Lowercase(std::string_view text);

// The name without trailing dots and spaces, which Windows drops: "x.bat." still runs x.bat.
std::string_view WithoutTrailingDots(std::string_view name);
