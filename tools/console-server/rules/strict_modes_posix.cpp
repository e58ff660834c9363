#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "rules/strict_modes.h"

namespace {

// Whether a user other than the owner is in the group: listed as a member, or with it as their
// own group.
bool GroupShared(gid_t groupId, uid_t owner) {
  const passwd* ownerEntry = getpwuid(owner);
  const std::string ownerName = ownerEntry != nullptr ? ownerEntry->pw_name : "";
  if (const struct group* entry = getgrgid(groupId)) {
    for (char** member = entry->gr_mem; member != nullptr && *member != nullptr; ++member) {
      if (ownerName != *member) return true;
    }
  }
  bool shared = false;
  setpwent();
  while (const passwd* user = getpwent()) {
    if (user->pw_gid == groupId && user->pw_uid != owner) {
      shared = true;
      break;
    }
  }
  endpwent();
  return shared;
}

}  // namespace

Result<Noted<>> CheckWriters(const std::filesystem::path& file) {
  struct stat status {};
  // What is read and run is the file a link names.
  if (stat(file.c_str(), &status) != 0) return Noted<>{};
  FileWriters writers;
  writers.owner = status.st_uid;
  writers.group = status.st_gid;
  writers.mode = status.st_mode & 01777;
  writers.groupShared = (writers.mode & 0020) != 0 && GroupShared(status.st_gid, status.st_uid);
  if (const Result<> refused = RefuseOtherWriters(file, writers, getuid()); !refused) {
    return Reason{refused.why()};
  }
  return Noted<>{};
}
