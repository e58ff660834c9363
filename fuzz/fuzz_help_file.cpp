// A help file and the argument of a request for it: the first line of the input is the argument,
// the rest is the file. ShowHelp reads it from a real file and must log and show exactly what the
// selection of the same bytes says (fuzz_help_selection checks the selection itself).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fake_host.h"
#include "fuzz_check.h"
#include "help/help_file.h"
#include "help/help_selection.h"
#include "help_folder.h"
#include "relay/show_help.h"

namespace {

constexpr const char* kCommand = "fuzz";

void CheckShowHelp(const std::string& file, const std::string& argument,
                   const Result<HelpLines>& chosen) {
  EnterHelpFolder();
  WriteHelpFileHere(kCommand, file);
  FakeGame game;
  ResetFakeHost(game);
  ShowHelp(kCommand, argument);
  LeaveHelpFolder();

  const std::string problemLine = "[Console] Help file " + HelpFilePath(kCommand) + ": ";
  std::vector<std::string> expectedLog;
  if (!chosen) {
    expectedLog.push_back(problemLine + chosen.why());
  } else {
    // A piece of a log line ends at its first zero byte.
    const std::string piece = "] [" + argument + "]";
    expectedLog.push_back(std::string("[Console] Show help [") + kCommand +
                          piece.substr(0, piece.find('\0')));
    for (const HelpNote& note : chosen->notes) expectedLog.push_back(problemLine + note.text);
  }
  FUZZ_CHECK(LoggedTexts() == expectedLog);
  FUZZ_CHECK(ChatLines == (chosen ? chosen->lines : std::vector<std::string>{}));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = input.find('\n');
  const std::string argument(input.substr(0, lineEnd));
  const std::string file(lineEnd == std::string_view::npos ? std::string_view()
                                                           : input.substr(lineEnd + 1));
  CheckShowHelp(file, argument, SelectHelpLines(file, argument));
  return 0;
}
