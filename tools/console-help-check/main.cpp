// console-help-check: shows what the game's chat shows for each entry of the help files.
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "common/text_bytes.h"
#include "help/help_file.h"
#include "help/help_selection.h"
#include "help_check.h"

namespace {

constexpr int kUsageError = 2;

void PrintUsage(std::ostream& out) {
  out << "Usage: console-help-check PATH...\n"
         "Checks the chat help files of the console relay plugin, read as the game reads them.\n"
         "Each PATH is a help file (<command>Help.json) or a ConsoleHelp folder, whose\n"
         "*Help.json files are all checked, subfolders included; a game folder or a plugins\n"
         "folder is checked from the nativePC/plugins/ConsoleHelp folder inside it. Names are\n"
         "compared as Windows compares them, in any case. For every entry it shows the chat\n"
         "lines that ask for it and the lines they show, within the plugin's limits ("
      << kMaxHelpLines << " lines\n"
      << "a request, " << kMaxHelpLineBytes << " bytes a line, " << (kMaxHelpFileBytes >> 20)
      << " MiB a file, " << kMaxHelpDepth
      << " levels of nesting, no path out of the help folder or\n"
         "to a device).\n"
         "\n"
         "Exit status: 0 when no request fails (warnings allowed), 1 when some request fails\n"
         "(a file that does not parse or nests too deep, a top level that is no object, a line\n"
         "that is no string, a name the plugin refuses, a file above "
      << (kMaxHelpFileBytes >> 20)
      << " MiB), 2 for a usage error or a\n"
         "path that cannot be read.\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> paths;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      if (argument == "--help" || argument == "-h") {
        PrintUsage(std::cout);
        return 0;
      }
      if (argument == "--") {
        optionsEnded = true;
        continue;
      }
      std::cerr << "console-help-check: unknown option "
                << EscapedBytes(argument, EscapeSet::kControlsC1AndBidi) << "\n\n";
      PrintUsage(std::cerr);
      return kUsageError;
    }
    paths.emplace_back(argv[i]);
  }
  if (paths.empty()) {
    PrintUsage(std::cerr);
    return kUsageError;
  }

  CheckGrade worst = CheckGrade::kOk;
  for (const std::filesystem::path& path : paths) {
    worst = std::max(worst, CheckHelpFilesAt(path, std::cout));
  }
  return static_cast<int>(worst);
}
