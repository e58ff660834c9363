// Reading and writing in a help folder that others write too: it is the game's, filled by
// unpacking ZIPs, so any name in it may be a link, a FIFO or a device planted there. Nothing here
// follows a link, opens what is no regular file, or writes to a file that was there before.
// help_file_io_posix.cpp and help_file_io_win.cpp hold the calls.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

// The text of the regular file at path, which is no link; none when nothing is there. Refuses a
// link, anything that is not a regular file (without waiting on a FIFO) and a file larger than
// largest.
Result<std::optional<std::string>> ReadRegularFile(const std::filesystem::path& path,
                                                   std::size_t largest);

// Creates a file at path that did not exist, never through a link, and writes text into it:
// O_CREAT|O_EXCL|O_NOFOLLOW on POSIX, CREATE_NEW on Windows.
Result<> WriteNewFile(const std::filesystem::path& path, std::string_view text);
