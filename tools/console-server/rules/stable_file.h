// When a changed rule file is read again: only once it has stayed the same over two looks, so
// that a file that an editor or a script is still writing is never applied half written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

// What a file looked like: its time and size.
struct FileLook {
  std::filesystem::file_time_type written;
  std::uintmax_t size = 0;
  bool operator==(const FileLook& other) const {
    return written == other.written && size == other.size;
  }
  bool operator!=(const FileLook& other) const { return !(*this == other); }
};

// What has been seen of the file: the look of the reading in use, and the look before now.
// None where the file could not be looked at (an editor may be replacing it).
struct FileLooks {
  std::optional<FileLook> read;
  std::optional<FileLook> last;
};

struct LookDecision {
  FileLooks looks;  // what has been seen, with this look
  bool readAgain = false;
};

// Whether to read the file again, given what it looks like now: when it differs from the reading
// in use and is the same as at the look before. The caller reads it, and keeps the reading only
// when the file still looks the same afterwards.
LookDecision DecideOnLook(const FileLooks& looks, const std::optional<FileLook>& now);
