#include "programs/program_files.h"

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

std::string PathVariable() {
  const char* path = std::getenv("PATH");
  return path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
}

std::filesystem::path ProgramFileFor(const std::string& name) {
  return std::filesystem::u8path(name);
}

Result<> CanRun(const std::filesystem::path& file) {
  if (access(file.c_str(), X_OK) == 0) return Done{};
  return Reason{"it may not be executed (give it the execute permission: chmod +x " +
                file.filename().u8string() + ")"};
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& file) {
  struct stat status {};
  if (stat(file.c_str(), &status) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                      static_cast<std::uint64_t>(status.st_ino),
                      static_cast<std::uint64_t>(status.st_nlink)};
}

std::filesystem::path LongPathOf(const std::filesystem::path& file) {
  return file;
}
