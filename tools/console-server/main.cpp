// console-server: a console program for the ConsoleRelay plugin, and the example to start from
// when writing one. It listens where the plugin connects, prints each command line a player
// sends, sends each line typed on stdin to the game's chat, and can answer commands from a rule
// file, with a canned reply or the output of a program. See README.md beside it for the wire
// format.
#include <chrono>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "command_runs.h"
#include "messages.h"
#include "platform.h"
#include "script_rules.h"
#include "text.h"

namespace {

constexpr int kConsolePort = 50382;
constexpr int kUsageError = 2;
// The plugin sends command lines of up to 4,099 bytes: one read must take the longest whole.
constexpr std::size_t kReadSize = 8192;
// The plugin reads about every 10 ms, and two messages that arrive between two of its reads are
// taken as one: keep a safe gap between sends.
constexpr auto kGapBetweenMessages = std::chrono::milliseconds(100);
constexpr int kWaitMs = 20;
constexpr int kLongestExecTimeout = 3600;

// The connection from the game, when one is open, and whether it has sent anything yet.
Socket Game = kNoSocket;
bool GameHasSent = false;
std::chrono::steady_clock::time_point LastSend;
std::vector<ScriptRule> Rules;

void PrintUsage(std::ostream& out) {
  out << "Usage: console-server [--port N] [--script RULES] [--exec-timeout S]\n"
         "A console program for the ConsoleRelay plugin. Listens on 127.0.0.1:50382 (--port N:\n"
         "another port, 0 for any free one), prints every command line the game sends, and sends\n"
         "each line typed here to the game's chat (as \"console <line>\").\n"
         "--script RULES answers commands from a rule file of \"COMMAND -> REPLY\" lines, and\n"
         "runs programs for \"COMMAND => PROGRAM ARG...\" lines.\n"
         "--exec-timeout S ends a program of a rule after S seconds (default 10).\n";
}

void SendDueMessage() {
  if (std::chrono::steady_clock::now() < LastSend + kGapBetweenMessages) return;
  const std::optional<std::string> message = TakeQueuedMessage();
  if (!message) return;
  if (Game == kNoSocket) {
    Print('!', "no game is connected; not sent: " + Printable(*message));
    return;
  }
  if (!SendBytes(Game, *message)) {
    Print('!', "send failed: " + SocketError());
    return;
  }
  LastSend = std::chrono::steady_clock::now();
  Print('<', Printable(*message));
}

void CloseGame() {
  CloseSocket(Game);
  Game = kNoSocket;
}

// Whether the peer has closed a connection (or it failed), without taking any data from it.
bool FoundClosed(Socket connection) {
  if (!WaitReadable(kNoSocket, connection, 0).connection) return false;
  char byte;
  return PeekBytes(connection, &byte, 1) <= 0;
}

void AcceptGame(Socket listener) {
  std::string peer;
  const Socket connection = AcceptConnection(listener, peer);
  if (connection == kNoSocket) return;
  if (Game != kNoSocket && !FoundClosed(Game)) {
    // A web page or a tool must not take the console away from a running game, which never
    // connects again.
    CloseSocket(connection);
    Print('!', "closed a new connection (from " + peer + "): the game's connection is still open");
    return;
  }
  if (Game != kNoSocket) {
    CloseGame();
    Print('*', "the previous game's connection was closed");
  }
  Game = connection;
  GameHasSent = false;
  Print('*', "game connected (from " + peer + ")");
}

// An HTTP request line ("POST / HTTP/1.1" and a line end) or a TLS handshake record: what a web
// browser or tool sends first, and the plugin never does.
bool IsWebRequest(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\x16' && bytes[1] == '\x03') return true;
  const std::size_t end = bytes.find('\n');
  if (end == std::string_view::npos) return false;
  const std::string_view line = bytes.substr(0, end);
  const std::size_t method = line.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (method == 0 || method == std::string_view::npos || line[method] != ' ') return false;
  const std::size_t target = line.find(' ', method + 1);
  return target != std::string_view::npos && target > method + 1 &&
         line.substr(target + 1, 5) == "HTTP/";
}

void ReceiveFromGame() {
  char buffer[kReadSize];
  const long long count = ReceiveBytes(Game, buffer, sizeof(buffer));
  if (count <= 0) {
    CloseGame();
    Print('*', "the game went away; waiting for the next game start");
    return;
  }
  const std::string_view line(buffer, static_cast<std::size_t>(count));
  if (!GameHasSent && IsWebRequest(line)) {
    CloseGame();
    Print('!',
          "closed the connection: it began with an HTTP request or a TLS handshake, as a "
          "web page or tool sends, not a game");
    return;
  }
  GameHasSent = true;
  Print('>', Printable(line));
  const std::optional<ScriptAnswer> answer = ScriptAnswerTo(Rules, line);
  if (!answer) return;
  if (answer->run != nullptr) {
    StartCommandRun(*answer);
  } else {
    QueueConsoleMessage(answer->reply);
  }
}

void ReadTypedLines() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    QueueConsoleMessage(line);
  }
  Print('*', "input ended: nothing more to send; still listening (Ctrl-C ends)");
}

bool ParseWholeNumber(std::string_view text, int largest, int& number) {
  if (text.empty() || text.size() > 5) return false;
  number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return number <= largest;
}

}  // namespace

int main(int argc, char** argv) {
  int port = kConsolePort;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      PrintUsage(std::cout);
      return 0;
    }
    const std::string_view shape = argument == "--port"           ? "--port N"
                                   : argument == "--script"       ? "--script RULES"
                                   : argument == "--exec-timeout" ? "--exec-timeout S"
                                                                  : "";
    if (shape.empty()) {
      std::cerr << "console-server: unknown option " << argument << "\n\n";
      PrintUsage(std::cerr);
      return kUsageError;
    }
    if (i + 1 == argc) {
      std::cerr << "console-server: " << argument << " needs a value (" << shape << ")\n";
      return kUsageError;
    }
    const std::string_view value = argv[++i];
    if (argument == "--port" && !ParseWholeNumber(value, 65535, port)) {
      std::cerr << "console-server: --port \"" << value
                << "\" is not a port number (a whole number from 0 to 65535)\n";
      return kUsageError;
    }
    int seconds = 0;
    if (argument == "--exec-timeout") {
      if (!ParseWholeNumber(value, kLongestExecTimeout, seconds) || seconds == 0) {
        std::cerr << "console-server: --exec-timeout \"" << value
                  << "\" is not a number of seconds (a whole number from 1 to "
                  << kLongestExecTimeout << ")\n";
        return kUsageError;
      }
      SetRunTimeout(std::chrono::seconds(seconds));
    }
    if (argument == "--script") {
      std::string error;
      if (!ReadScriptRules(std::string(value), Rules, error)) {
        std::cerr << "console-server: --script: " << error << '\n';
        return kUsageError;
      }
    }
  }

  std::string error;
  const Socket listener = StartSockets() ? ListenOnLoopback(port, error) : kNoSocket;
  if (listener == kNoSocket) {
    std::cerr << "console-server: cannot listen on 127.0.0.1:" << port << ": " << error
              << " (is another console program running?)\n";
    return 1;
  }
  Print('*', "listening on 127.0.0.1:" + std::to_string(LocalPort(listener)) +
                 (Rules.empty() ? "" : " with " + std::to_string(Rules.size()) + " script rules"));
  Print('*', "start the game now: the plugin connects once, 5 s after the game starts");

  std::thread(ReadTypedLines).detach();
  for (;;) {
    const Readable readable = WaitReadable(listener, Game, kWaitMs);
    // The old connection first: a game that went away is then gone before a new one connects.
    if (readable.connection) ReceiveFromGame();
    if (readable.listener) AcceptGame(listener);
    SendDueMessage();
  }
}
