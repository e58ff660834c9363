#include "relay/relay_pass.h"

#include "game/chat_output.h"
#include "game/game_memory.h"
#include "host/log.h"
#include "net/connection.h"
#include "relay/command_line.h"
#include "relay/pending_lines.h"
#include "relay/server_link.h"
#include "relay/show_help.h"

namespace {

constexpr const char* kConsoleLine = "[Console] ";
// Logged before every taken line that holds a space. Only a test word once, but kept: log
// readers and their scripts take it as the mark that such a line was taken (log-lines.md).
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

NextPass HandleCommandLine(const std::string& line) {
  const CommandDecision decision = DecideCommand(line);
  if (decision.hasSpace) Log(loader::INFO, kSpaceMarker);

  switch (decision.action) {
    case CommandAction::kNothing:
      return NextPass::kAfterPause;
    case CommandAction::kEmptyArgument:
      // A line that ends in its space asks for nothing and leaves nothing to wait for.
      return NextPass::kAtOnce;
    case CommandAction::kHelp:
      if (decision.hasSpace) Log(loader::INFO, kFindingHelp, decision.command);
      ShowHelp(std::string(decision.command), std::string(decision.argument));
      return NextPass::kAfterPause;
    case CommandAction::kForward:
      // Logged as handed over; a line that cannot go gets a line of its own after this one.
      Log(loader::INFO, kForwardOpen, CapitalizedCommand(decision.command), kForwardClose, line);
      SendLine(line);
      return NextPass::kAfterPause;
  }
  return NextPass::kAfterPause;
}

}  // namespace

// Every command line fits beside nothing, so the waiting lines alone keep one from going.
static_assert(kMaxCommandLine + 1 <= kPendingLinesRoom);

NextPass RunRelayPass(ReceiveBuffer& buffer, bool& captureArmed) {
  // With a link, as on almost every pass, not even the clock is read.
  if (ServerSocketState() != SocketState::kConnected) KeepServerLink(LinkClock::now());
  // What the console program had no room for goes before any line taken since.
  SendPendingLines();
  buffer.fill(0);
  if (ReceiveFromServer(buffer.data(), kReceiveLength) == ReceiveStatus::kLost) {
    LoseLinkAndPendingLines();
  }
  ShowConsoleMessage(MessageInBuffer(buffer.data(), kReceiveLength));

  if (ReadChatState() == kChatTyping) {
    const unsigned char firstChar = ReadChatFirstChar();
    if (firstChar == kCommandMark) {
      // While a "/" line is typed, keep its first byte blanked so the game does not show it.
      captureArmed = true;
      BlankChatText();
    } else if (firstChar != 0) {
      // The player is typing a line without the "/": the slash was deleted, or the command was
      // cancelled and a new line begun. The line sent next is that ordinary line, not one to take.
      // (A first character of 0 is the moment of Enter, or an empty line: the arm stays.)
      captureArmed = false;
    }
  }
  if (ReadChatState() == kChatSent && ReadChatFirstChar() == 0 && captureArmed) {
    captureArmed = false;
    // The game writes a sent line over the buffer from its first byte. The armed line still
    // starts with the plugin's blank, or with the "/" that the game writes back while it is
    // typed. Any other byte starts a line put there since, sent without a pass seeing it typed
    // (a chat bind after a cancelled command): the game showed it as an ordinary line.
    const unsigned char textFirstByte = ReadChatTextFirstByte();
    if (textFirstByte != 0 && textFirstByte != kCommandMark) return NextPass::kAfterPause;
    return HandleCommandLine(CopyCommandLine());
  }
  return NextPass::kAfterPause;
}
