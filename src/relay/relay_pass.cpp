#include "relay/relay_pass.h"

#include "game/chat_output.h"
#include "game/game_memory.h"
#include "host/log.h"
#include "net/connection.h"
#include "relay/command_line.h"
#include "relay/show_help.h"

namespace {

constexpr const char* kConsoleLine = "[Console] ";
constexpr const char* kSpaceMarker = "TEST";
constexpr const char* kFindingHelp = "[Console] finding help for ";
constexpr const char* kForwardOpen = "[Console] [";
constexpr const char* kForwardClose = "] ";

void ShowConsoleMessage(std::string_view message) {
  if (!IsConsoleMessage(message)) return;
  const std::string_view text = ConsoleText(message);
  if (text.empty()) return;
  ShowChatMessage(std::string(text));
  Log(loader::INFO, kConsoleLine, text);
}

// Returns false when the next pass is to follow at once.
bool HandleCommandLine(const std::string& line) {
  const CommandDecision decision = DecideCommand(line);
  if (decision.hasSpace) Log(loader::INFO, kSpaceMarker);

  switch (decision.action) {
    case CommandAction::kNothing:
      return true;
    case CommandAction::kEmptyArgument:
      return false;
    case CommandAction::kHelp:
      if (decision.hasSpace) Log(loader::INFO, kFindingHelp, decision.command);
      ShowHelp(std::string(decision.command), std::string(decision.argument));
      return true;
    case CommandAction::kForward:
      SendToServer(line);
      Log(loader::INFO, kForwardOpen, CapitalizedCommand(decision.command), kForwardClose, line);
      return true;
  }
  return true;
}

}  // namespace

bool RunRelayPass(ReceiveBuffer& buffer, bool& captureArmed) {
  buffer.fill(0);
  ReceiveFromServer(buffer.data(), kReceiveLength);
  ShowConsoleMessage(MessageInBuffer(buffer.data(), kReceiveLength));

  // While a "/" line is typed, keep its first byte blanked so the game does not show it itself.
  if (ReadChatState() == kChatTyping && ReadChatFirstChar() == kCommandMark) {
    captureArmed = true;
    BlankChatText();
  }
  if (ReadChatState() == kChatSent && ReadChatFirstChar() == 0 && captureArmed) {
    captureArmed = false;
    return HandleCommandLine(CopyCommandLine());
  }
  return true;
}
