#include "relay/show_help.h"

#include <fstream>

#include "game/chat_output.h"
#include "host/log.h"
#include "relay/help_file.h"

namespace {

constexpr const char* kShowHelp = "[Console] Show help [";
constexpr const char* kHelpFileProblem = "[Console] Help file ";

void LogHelpFileProblem(const std::string& path, const std::string& problem) {
  Log(loader::INFO, kHelpFileProblem, path, ": ", problem);
}

}  // namespace

void ShowHelp(std::string command, std::string argument) {
  const std::string path = HelpFilePath(command);
  // Read anew for every request, so an edited help file shows at once.
  std::ifstream file(path);
  if (!file) return;

  nlohmann::json value;
  std::string problem;
  if (!ReadHelpValue(file, value, problem)) {
    LogHelpFileProblem(path, problem);
    return;
  }
  Log(loader::INFO, kShowHelp, command, "] [" + argument + "]");

  problem =
      ForEachHelpLine(value, argument, [](const std::string& line) { ShowChatMessage(line); });
  if (!problem.empty()) LogHelpFileProblem(path, problem);
}
