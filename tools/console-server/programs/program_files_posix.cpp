#include "programs/program_files.h"

#include <cstdlib>

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
