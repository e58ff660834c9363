#include "relay/show_help.h"

#include <fstream>

#include "game/chat_output.h"
#include "host/log.h"
#include "relay/help_file.h"
#include "relay/help_path.h"
#include "relay/help_selection.h"

namespace {

constexpr const char* kShowHelp = "[Console] Show help [";
constexpr const char* kHelpFileProblem = "[Console] Help file ";

void LogHelpFileProblem(const std::string& path, const std::string& problem) {
  Log(loader::INFO, kHelpFileProblem, path, ": ", problem);
}

}  // namespace

void ShowHelp(std::string command, std::string argument) {
  const std::string path = HelpFilePath(command);
  // Checked before anything is opened: a device such as COM1 can block whoever opens it.
  if (const char* refusal = HelpPathRefusal(command)) {
    LogHelpFileProblem(path, std::string("not read: ") + refusal);
    return;
  }
  // Read anew for every request, so an edited help file shows at once.
  std::ifstream file(path);
  if (!file) return;
  // A file without a size (a folder, where a folder can be opened) is as good as missing.
  const std::int64_t size = HelpFileSize(file);
  if (size < 0) return;
  if (static_cast<std::uint64_t>(size) > kMaxHelpFileBytes) {
    LogHelpFileProblem(path, "not read: " + TooLargeReason(size));
    return;
  }
  std::string text;
  if (const auto tooLarge = ReadHelpText(file, size, text)) {
    LogHelpFileProblem(path, "not read: " + *tooLarge);
    return;
  }
  file.close();

  const HelpLines selected = SelectHelpLines(text, argument);
  text = std::string();
  if (selected.unreadable) {
    LogHelpFileProblem(path, *selected.unreadable);
    return;
  }
  Log(loader::INFO, kShowHelp, command, "] [" + argument + "]");
  for (const std::string& line : selected.lines) ShowChatMessage(line);
  if (selected.cutLines > 0) LogHelpFileProblem(path, CutLinesReason(selected.cutLines));
  if (selected.problem) LogHelpFileProblem(path, *selected.problem);
  if (selected.leftOut > 0) LogHelpFileProblem(path, LeftOutReason(selected.leftOut));
}
