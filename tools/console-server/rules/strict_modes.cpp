#include "rules/strict_modes.h"

namespace {

constexpr std::uint32_t kRoot = 0;
constexpr std::uint32_t kGroupWrite = 0020;
constexpr std::uint32_t kOthersWrite = 0002;
constexpr std::uint32_t kSticky = 01000;

}  // namespace

std::optional<std::string> OtherWriters(const FileWriters& file, std::uint32_t ourUser) {
  if (file.owner != ourUser && file.owner != kRoot) {
    return "it belongs to user " + std::to_string(file.owner) + ", not to console-server's (" +
           std::to_string(ourUser) + ") or root";
  }
  if ((file.mode & kOthersWrite) != 0) return "any user may write it";
  if ((file.mode & kGroupWrite) != 0 && file.groupShared) {
    return "its group " + std::to_string(file.group) +
           " may write it, and has members other than its owner";
  }
  return std::nullopt;
}

Result<> RefuseOtherWriters(const std::filesystem::path& file, const FileWriters& writers,
                            std::uint32_t ourUser) {
  const std::optional<std::string> others = OtherWriters(writers, ourUser);
  if (!others) return Done{};
  const std::string name = file.u8string();
  const std::string chmod = "chmod go-w " + name;
  // A shared folder (sticky, as the system's temporary one) is meant to stay open to all.
  const std::string fix =
      (writers.mode & kSticky) != 0
          ? "keep the rules in a folder of your own: in a shared folder anyone may create the "
            "program that a rule names before it is there"
      : writers.owner != ourUser && writers.owner != kRoot
          ? "chown " + std::to_string(ourUser) + " " + name + ", and " + chmod
          : chmod;
  return Reason{name +
                " may be written by another user, and would steer what console-server "
                "runs: " +
                *others + " (" + fix + ")"};
}
