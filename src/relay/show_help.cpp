#include "relay/show_help.h"

#include <fstream>

#include "game/chat_output.h"
#include "help/help_file.h"
#include "help/help_path.h"
#include "help/help_selection.h"
#include "host/log.h"

namespace {

constexpr const char* kShowHelp = "[Console] Show help [";
constexpr const char* kHelpFileProblem = "[Console] Help file ";
constexpr const char* kNotRead = "not read: ";

void LogHelpFileProblem(const std::string& path, const std::string& problem) {
  Log(loader::INFO, kHelpFileProblem, path, ": ", problem);
}

}  // namespace

void ShowHelp(std::string command, std::string argument) {
  const std::string path = HelpFilePath(command);
  // Checked before anything is opened: a device such as COM1 can block whoever opens it.
  if (const Result<> allowed = CommandMayNameHelpFile(command); !allowed) {
    LogHelpFileProblem(path, kNotRead + allowed.why());
    return;
  }
  // Read anew for every request, so an edited help file shows at once. A missing file, and one
  // without a size (a folder, where a folder can be opened), is as good as missing: nothing shows
  // and nothing is logged. Read as bytes: a text stream would end the file at a 0x1A byte on
  // Windows, and the parser takes CR LF between tokens as whitespace all the same.
  std::ifstream file(path, std::ios::binary);
  if (!file) return;
  const std::optional<std::uint64_t> size = HelpFileSize(file);
  if (!size) return;
  Result<std::string> text = ReadHelpText(file, *size);
  if (!text) {
    LogHelpFileProblem(path, kNotRead + text.why());
    return;
  }
  file.close();

  const Result<HelpLines> chosen = SelectHelpLines(*text, argument);
  *text = std::string();
  if (!chosen) {
    LogHelpFileProblem(path, chosen.why());
    return;
  }
  Log(loader::INFO, kShowHelp, command, "] [" + argument + "]");
  for (const std::string& line : chosen->lines) ShowChatMessage(line);
  for (const HelpNote& note : chosen->notes) LogHelpFileProblem(path, note.text);
}
