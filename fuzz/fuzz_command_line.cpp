// A command line typed into the chat: through the split rules, then typed into the stand-in game's
// chat buffer and taken by an arming pass and a taking pass, at two log levels. Help requests find
// the help files of help_folder.cpp.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_bytes.h"
#include "fake_host.h"
#include "fuzz_check.h"
#include "game/game_memory.h"
#include "help/help_file.h"
#include "help/help_path.h"
#include "help_folder.h"
#include "net/wire.h"
#include "relay/command_line.h"
#include "relay/relay_pass.h"
#include "relay/show_help.h"

namespace {

struct Outcome {
  bool pause = true;
  std::vector<LoggedLine> logged;
  std::vector<std::string> sent;
  std::vector<std::string> chat;
};

void CheckCapitalizedCommand(std::string_view command) {
  const std::string word = CapitalizedCommand(command);
  FUZZ_CHECK(word.size() == command.size());
  if (command.empty()) return;
  FUZZ_CHECK(word.compare(1, std::string::npos, command.substr(1)) == 0);
  const char first = command[0];
  FUZZ_CHECK(word[0] == (first >= 'a' && first <= 'z' ? first - 'a' + 'A' : first));
}

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Device names as Windows knows them, upper case.
bool NamesDevice(std::string name) {
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices) {
    if (name == device) return true;
  }
  if (name.size() < 4 || (!StartsWith(name, "COM") && !StartsWith(name, "LPT"))) {
    return false;
  }
  const std::string port = name.substr(3);
  const char* const ports[] = {"0",    "1",        "2",        "3",       "4",    "5",
                               "6",    "7",        "8",        "9",       "\xB9", "\xB2",
                               "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"};
  for (const char* p : ports) {
    if (port == p) return true;
  }
  return false;
}

// An accepted command walks the path as Windows resolves it: it never climbs above the help
// folder, names no drive, stream or device and does not start at a root.
void CommandMayNameHelpFileRule(std::string_view command) {
  if (const Result<> allowed = CommandMayNameHelpFile(command); !allowed) {
    FUZZ_CHECK(!allowed.why().empty());
    return;
  }
  FUZZ_CHECK(command.empty() || !IsSeparator(command[0]));
  FUZZ_CHECK(command.find(':') == std::string_view::npos);

  const std::string path = std::string(command) + std::string(kHelpFileSuffix);
  long depth = 0;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const std::string segment = path.substr(start, end - start);
    start = end + 1;

    // Windows drops trailing dots and spaces; what is left of "..", "... " and the like climbs.
    std::string trimmed = segment;
    while (!trimmed.empty() && (trimmed.back() == '.' || trimmed.back() == ' ')) trimmed.pop_back();
    if (trimmed.empty()) {
      if (segment.find("..") != std::string::npos || segment.find(". .") != std::string::npos) {
        --depth;
      }
      FUZZ_CHECK(depth >= 0);
      continue;
    }
    std::string base = segment.substr(0, segment.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    FUZZ_CHECK(!NamesDevice(base));
    ++depth;
  }
  FUZZ_CHECK(depth >= 1);
}

// The split rules on any bytes, zero bytes included.
void CheckDecision(std::string_view line) {
  const CommandDecision decision = DecideCommand(line);
  const std::size_t space = line.find(' ');
  FUZZ_CHECK(decision.hasSpace == (space != std::string_view::npos));
  if (line.empty()) {
    FUZZ_CHECK(decision.action == CommandAction::kNothing);
    return;
  }
  if (!decision.hasSpace) {
    FUZZ_CHECK(decision.action == CommandAction::kHelp);
    FUZZ_CHECK(decision.command.data() == line.data() && decision.command.size() == line.size());
    FUZZ_CHECK(decision.argument == kHelpArgument);
  } else {
    // Both halves lie in the line itself, around its first space.
    FUZZ_CHECK(decision.command.data() == line.data() && decision.command.size() == space);
    FUZZ_CHECK(decision.argument.data() == line.data() + space + 1);
    FUZZ_CHECK(decision.argument.size() == line.size() - space - 1);
    CommandAction expected = CommandAction::kForward;
    if (decision.argument.empty()) {
      expected = CommandAction::kEmptyArgument;
    } else if (StartsWith(decision.argument, kHelpArgument)) {
      expected = CommandAction::kHelp;
    }
    FUZZ_CHECK(decision.action == expected);
  }
  CheckCapitalizedCommand(decision.command);
}

// The player types "/" + the bytes (as many as the chat buffer holds, up to a zero byte) and
// sends the line. Returns what the relay did with it.
Outcome TypeAndSend(std::string_view bytes, loader::LogLevel minLogLevel) {
  FakeGame game;
  ResetFakeHost(game);
  loader::MinLogLevel = minLogLevel;

  const std::size_t typed = std::min(bytes.size(), kMaxCommandLine);
  game.text()[0] = kCommandMark;
  std::memcpy(game.text() + 1, bytes.data(), typed);
  // A full buffer ends at the state word, with no zero byte of its own.
  if (typed < kMaxCommandLine) game.text()[1 + typed] = 0;
  game.state() = kChatTyping;
  game.firstChar() = kCommandMark;

  ReceiveBuffer buffer{};
  bool armed = false;
  FUZZ_CHECK(RunRelayPass(buffer, armed) == NextPass::kAfterPause);
  FUZZ_CHECK(armed);
  FUZZ_CHECK(game.text()[0] == 0);
  FUZZ_CHECK(LoggedLines.empty() && SentBytes.empty() && ChatLines.empty());

  game.state() = kChatSent;
  game.firstChar() = 0;
  Outcome outcome;
  outcome.pause = RunRelayPass(buffer, armed) == NextPass::kAfterPause;
  FUZZ_CHECK(!armed);
  outcome.logged = LoggedLines;
  outcome.sent = SentBytes;
  outcome.chat = ChatLines;
  return outcome;
}

// What ShowHelp alone shows and logs for the request.
Outcome ShowHelpAlone(const std::string& command, const std::string& argument) {
  FakeGame game;
  ResetFakeHost(game);
  ShowHelp(command, argument);
  Outcome outcome;
  outcome.logged = LoggedLines;
  outcome.chat = ChatLines;
  return outcome;
}

void CheckTakenLine(const std::string& line, const Outcome& outcome) {
  for (const LoggedLine& logged : outcome.logged) FUZZ_CHECK(logged.level == loader::INFO);

  if (line.empty()) {
    FUZZ_CHECK(outcome.pause && outcome.logged.empty() && outcome.sent.empty() &&
               outcome.chat.empty());
    return;
  }
  const std::size_t space = line.find(' ');
  std::vector<std::string> expectedLog;
  std::string helpCommand;
  std::string helpArgument(kHelpArgument);
  if (space == std::string::npos) {
    helpCommand = line;
  } else {
    const std::string command = line.substr(0, space);
    const std::string argument = line.substr(space + 1);
    expectedLog.push_back("TEST");
    if (argument.empty()) {
      FUZZ_CHECK(!outcome.pause);
      FUZZ_CHECK(outcome.sent.empty() && outcome.chat.empty());
      FUZZ_CHECK(outcome.logged.size() == 1 && outcome.logged[0].text == expectedLog[0]);
      return;
    }
    if (!StartsWith(argument, kHelpArgument)) {
      // Forwarded: the very bytes typed, once, and one log line naming the command.
      FUZZ_CHECK(outcome.pause);
      FUZZ_CHECK(outcome.sent == std::vector<std::string>{line});
      FUZZ_CHECK(outcome.chat.empty());
      expectedLog.push_back("[Console] [" + CapitalizedCommand(command) + "] " + line);
      FUZZ_CHECK(outcome.logged.size() == 2);
      FUZZ_CHECK(outcome.logged[0].text == expectedLog[0]);
      FUZZ_CHECK(outcome.logged[1].text == expectedLog[1]);
      return;
    }
    expectedLog.push_back("[Console] finding help for " + command);
    helpCommand = command;
    helpArgument = argument;
  }

  // A help request: nothing sent, the marker lines, then exactly what ShowHelp does by itself.
  FUZZ_CHECK(outcome.pause);
  FUZZ_CHECK(outcome.sent.empty());
  const Outcome help = ShowHelpAlone(helpCommand, helpArgument);
  if (!CommandMayNameHelpFile(helpCommand)) {
    // Refused: one line that names the file, and nothing shown.
    FUZZ_CHECK(help.chat.empty());
    FUZZ_CHECK(help.logged.size() == 1);
    FUZZ_CHECK(help.logged[0].text.rfind(
                   "[Console] Help file " + HelpFilePath(helpCommand) + ": not read: ", 0) == 0);
  }
  FUZZ_CHECK(outcome.chat == help.chat);
  FUZZ_CHECK(outcome.logged.size() == expectedLog.size() + help.logged.size());
  for (std::size_t i = 0; i < expectedLog.size(); ++i) {
    FUZZ_CHECK(outcome.logged[i].text == expectedLog[i]);
  }
  FUZZ_CHECK(std::equal(help.logged.begin(), help.logged.end(),
                        outcome.logged.begin() + expectedLog.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckDecision(bytes);
  CommandMayNameHelpFileRule(bytes);
  CommandMayNameHelpFileRule(DecideCommand(bytes).command);

  // What the take copies: the typed bytes up to the first zero, as many as the buffer holds.
  const std::string line(bytes.substr(0, std::min(bytes.find('\0'), kMaxCommandLine)));

  EnterHelpFolder();
  const Outcome shown = TypeAndSend(bytes, loader::INFO);
  CheckTakenLine(line, shown);

  // With the log level above INFO the same lines are started and ended empty, and everything
  // else happens all the same.
  const Outcome hidden = TypeAndSend(bytes, loader::ERR);
  FUZZ_CHECK(hidden.pause == shown.pause);
  FUZZ_CHECK(hidden.sent == shown.sent);
  FUZZ_CHECK(hidden.chat == shown.chat);
  FUZZ_CHECK(hidden.logged.size() == shown.logged.size());
  for (const LoggedLine& logged : hidden.logged) FUZZ_CHECK(logged.text.empty());
  LeaveHelpFolder();
  return 0;
}
