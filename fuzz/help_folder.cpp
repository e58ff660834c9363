#include "help_folder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "fuzz_check.h"
#include "help/help_file.h"

namespace {

std::filesystem::path HelpFolder;
int StartFolder = -1;  // the directory to go back to, kept open so that nothing can move it

// Help files the command-line target can reach by typing their command.
const char* const kHelpFiles[][2] = {
    {"kick", R"({"help": ["Kicks a player."], "helpful 2": ["Second page."]})"},
    {"spawn",
     R"({"help": ["Spawns a monster.", "Usage: /spawn <id>"], "help items": ["Spawns an item."]})"},
    {"time", R"({"help": {"1": "Usage: /time <hour>", "2": "Sets the time."}, "help x": null})"},
    {"badline", R"({"help": ["a", 2, "c"]})"},
    {"broken", R"({"help": ["a",)"},
};

void RemoveHelpFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(HelpFolder, ignored);
}

void CreateHelpFolder() {
  // Memory-backed where there is one: the help-file target writes a file for every input.
  std::filesystem::path base = "/dev/shm";
  if (::access(base.c_str(), W_OK) != 0) base = std::filesystem::temp_directory_path();
  std::string folder = (base / "console-relay-fuzz-XXXXXX").string();
  FUZZ_CHECK(::mkdtemp(folder.data()) != nullptr);
  HelpFolder = folder;
  std::atexit(RemoveHelpFolder);
}

}  // namespace

void EnterHelpFolder() {
  const bool first = HelpFolder.empty();
  if (first) CreateHelpFolder();
  StartFolder = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  FUZZ_CHECK(StartFolder >= 0);
  FUZZ_CHECK(::chdir(HelpFolder.c_str()) == 0);
  if (first) {
    for (const auto& file : kHelpFiles) WriteHelpFileHere(file[0], file[1]);
  }
}

void LeaveHelpFolder() {
  FUZZ_CHECK(::fchdir(StartFolder) == 0);
  ::close(StartFolder);
  StartFolder = -1;
}

void WriteHelpFileHere(const std::string& command, const std::string& content) {
  const std::filesystem::path path = HelpFilePath(command);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  FUZZ_CHECK(file.good());
}
