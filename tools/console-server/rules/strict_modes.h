// Strict modes: the rule file, its folder, and the admin's own programs and scripts beside it
// steer what console-server runs with its user's rights, so no other user may write them. A
// file that another user can write is refused: the rules are not read, and at start
// console-server stops with the reason and the fix. On Windows, whose ACLs have no such simple
// shape, a file that Everyone, Users or Authenticated Users may write gets a warning instead:
// folders made right under C:\ are so by default, and a refusal would stop most installs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "common/result.h"

// Who may write a file, as its owner and mode bits tell (POSIX).
struct FileWriters {
  std::uint32_t owner = 0;  // its user id
  std::uint32_t group = 0;  // its group id
  std::uint32_t mode = 0;   // its permission bits, with the sticky bit (01777)
  // Whether its group has a member other than its owner (a user's own private group has none).
  bool groupShared = false;
};

// Why a user other than ourUser (console-server's own) or root can write the file: it belongs
// to another user, anyone may write it, or a group shared with others may. None when only its
// owner can.
std::optional<std::string> OtherWriters(const FileWriters& file, std::uint32_t ourUser);

// The refusal of a file that another user can write, naming it with the reason and the fix
// (chmod go-w FILE, chown for another user's file, a folder of one's own for a shared one); none
// when no other user can.
Result<> RefuseOtherWriters(const std::filesystem::path& file, const FileWriters& writers,
                            std::uint32_t ourUser);

// The check of one file or folder on this system: a refusal naming the file, the reason and the
// fix (chmod go-w FILE), or a note of a warning, or neither.
Result<Noted<>> CheckWriters(const std::filesystem::path& file);
