// console-server: a console program for the ConsoleRelay plugin, and the example to start from
// when writing one. It listens where the plugin connects, prints each command line a player
// sends, sends each line typed on stdin to the game's chat, and can answer commands from a rule
// file. See README.md beside it for the wire format.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform.h"
#include "script_rules.h"

namespace {

constexpr int kConsolePort = 50382;
constexpr int kUsageError = 2;
// The plugin reads at most this many bytes at once: a longer message would arrive in pieces.
constexpr std::size_t kLongestMessage = 1024;
// The plugin shows only messages that start so; the chat gets the text after the space.
constexpr std::string_view kConsolePrefix = "console ";
// The plugin reads about every 10 ms, and two messages that arrive between two of its reads are
// taken as one: keep a safe gap between sends.
constexpr auto kGapBetweenMessages = std::chrono::milliseconds(100);
constexpr int kWaitMs = 20;

// The connection from the game, when one is open.
Socket Game = kNoSocket;
std::chrono::steady_clock::time_point LastSend;
std::vector<ScriptRule> Rules;

// Lines typed on stdin, handed from the thread that reads them to the main loop.
std::mutex TypedLock;
std::vector<std::string> TypedLines;
bool TypedInputEnded = false;

void PrintUsage(std::ostream& out) {
  out << "Usage: console-server [--port N] [--script RULES]\n"
         "A console program for the ConsoleRelay plugin. Listens on 127.0.0.1:50382 (--port N:\n"
         "another port, 0 for any free one), prints every command line the game sends, and sends\n"
         "each line typed here to the game's chat (as \"console <line>\").\n"
         "--script RULES answers commands from a rule file of \"COMMAND -> REPLY\" lines.\n";
}

std::string Timestamp() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::tm local = LocalTime(system_clock::to_time_t(now));
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[16];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms));
  return text;
}

// One line of output: the time, a mark (">" received, "<" sent, "*" news, "!" trouble), text.
void Print(char mark, std::string_view text) {
  std::cout << Timestamp() << ' ' << mark << ' ' << text << std::endl;
}

// Control bytes as \xNN, so that every received line prints on one line.
std::string Printable(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

void SendConsoleMessage(std::string_view text) {
  const std::string message = std::string(kConsolePrefix) + std::string(text);
  if (Game == kNoSocket) {
    Print('!', "no game is connected; not sent: " + Printable(message));
    return;
  }
  if (text.empty()) {
    Print('!', "an empty message shows nothing in the chat; not sent");
    return;
  }
  if (message.size() > kLongestMessage) {
    Print('!', "longer than " + std::to_string(kLongestMessage) +
                   " bytes, which the plugin would split; not sent");
    return;
  }
  std::this_thread::sleep_until(LastSend + kGapBetweenMessages);
  if (!SendBytes(Game, message)) {
    Print('!', "send failed: " + SocketError());
    return;
  }
  LastSend = std::chrono::steady_clock::now();
  Print('<', Printable(message));
}

void AcceptGame(Socket listener) {
  std::string peer;
  const Socket connection = AcceptConnection(listener, peer);
  if (connection == kNoSocket) return;
  if (Game != kNoSocket) {
    CloseSocket(Game);
    Print('*', "a new game connected: closed the connection of the previous one");
  }
  Game = connection;
  Print('*', "game connected (from " + peer + ")");
}

void ReceiveFromGame() {
  // Each command line is one send of the plugin; a player cannot send two within one read.
  char buffer[4096];
  const long long count = ReceiveBytes(Game, buffer, sizeof(buffer));
  if (count <= 0) {
    CloseSocket(Game);
    Game = kNoSocket;
    Print('*', "the game went away; waiting for the next game start");
    return;
  }
  const std::string_view line(buffer, static_cast<std::size_t>(count));
  Print('>', Printable(line));
  if (const auto reply = ScriptReply(Rules, line)) SendConsoleMessage(*reply);
}

void ReadTypedLines() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::lock_guard<std::mutex> hold(TypedLock);
    TypedLines.push_back(line);
  }
  std::lock_guard<std::mutex> hold(TypedLock);
  TypedInputEnded = true;
}

void SendTypedLines() {
  std::vector<std::string> lines;
  bool inputEnded = false;
  {
    std::lock_guard<std::mutex> hold(TypedLock);
    lines.swap(TypedLines);
    inputEnded = TypedInputEnded;
    TypedInputEnded = false;
  }
  for (const std::string& line : lines) SendConsoleMessage(line);
  if (inputEnded) Print('*', "input ended: nothing more to send; still listening (Ctrl-C ends)");
}

bool ParsePort(std::string_view text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  port = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    port = port * 10 + (c - '0');
  }
  return port <= 65535;
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
    if (argument != "--port" && argument != "--script") {
      std::cerr << "console-server: unknown option " << argument << "\n\n";
      PrintUsage(std::cerr);
      return kUsageError;
    }
    if (i + 1 == argc) {
      std::cerr << "console-server: " << argument << " needs a value ("
                << (argument == "--port" ? "--port N" : "--script RULES") << ")\n";
      return kUsageError;
    }
    const std::string_view value = argv[++i];
    if (argument == "--port" && !ParsePort(value, port)) {
      std::cerr << "console-server: --port \"" << value
                << "\" is not a port number (a whole number from 0 to 65535)\n";
      return kUsageError;
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
    // The old connection first: once a new game is accepted, Game is another socket.
    if (readable.connection) ReceiveFromGame();
    if (readable.listener) AcceptGame(listener);
    SendTypedLines();
  }
}
