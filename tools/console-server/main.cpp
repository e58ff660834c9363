// console-server: a console program for the ConsoleRelay plugin, and the example to start from
// when writing one. It listens where the plugin connects, prints each command line a player
// sends, sends each line typed on stdin to the game's chat, and can answer commands from a rule
// file, with a canned reply or the output of a program. See README.md beside it for the wire
// format.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "command_runs.h"
#include "connections.h"
#include "messages.h"
#include "platform.h"
#include "script_rules.h"
#include "text.h"

namespace {

constexpr int kConsolePort = 50382;
constexpr int kUsageError = 2;
// The plugin reads about every 10 ms, and two messages that arrive between two of its reads are
// taken as one: keep a safe gap between sends.
constexpr auto kGapBetweenMessages = std::chrono::milliseconds(100);
constexpr int kWaitMs = 20;
constexpr int kLongestExecTimeout = 3600;
// How often the rule file is looked at for a change.
constexpr auto kRuleFileCheck = std::chrono::seconds(1);

std::chrono::steady_clock::time_point LastSend;
std::vector<ScriptRule> Rules;

// The rule file, and what it looked like when last read: a change reads it again.
struct RuleFile {
  std::string path;
  std::filesystem::file_time_type written;
  std::uintmax_t size = 0;
  std::chrono::steady_clock::time_point checked;
};
RuleFile WatchedRules;

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
  const Socket game = GameConnection();
  if (game == kNoSocket) {
    Print('!', "no game is connected; not sent: " + Printable(*message));
    return;
  }
  if (!SendBytes(game, *message)) {
    Print('!', "send failed: " + SocketError());
    return;
  }
  LastSend = std::chrono::steady_clock::now();
  Print('<', Printable(*message));
}

void AnswerCommandLine(std::string_view line) {
  Print('>', Printable(line));
  const std::optional<ScriptAnswer> answer = ScriptAnswerTo(Rules, line);
  if (!answer) return;
  if (answer->run != nullptr) {
    StartCommandRun(*answer);
  } else {
    QueueConsoleMessage(answer->reply);
  }
}

// The rule file's time and size now; false when it cannot be looked at.
bool LookAt(RuleFile& file) {
  std::error_code status;
  const std::filesystem::path path = std::filesystem::u8path(file.path);
  file.written = std::filesystem::last_write_time(path, status);
  if (status) return false;
  file.size = std::filesystem::file_size(path, status);
  return !status;
}

bool ReadRules(const std::string& path, std::vector<ScriptRule>& rules, std::string& error) {
  std::vector<std::string> warnings;
  if (!ReadScriptRules(path, rules, error, warnings)) return false;
  for (const std::string& warning : warnings) Print('!', warning);
  return true;
}

// Reads the rule file again when it changed. Rules that do not read leave the old ones in use.
void ReloadChangedRules() {
  const auto now = std::chrono::steady_clock::now();
  if (WatchedRules.path.empty() || now < WatchedRules.checked + kRuleFileCheck) return;
  WatchedRules.checked = now;
  RuleFile seen = WatchedRules;
  if (!LookAt(seen) || (seen.written == WatchedRules.written && seen.size == WatchedRules.size)) {
    return;
  }
  WatchedRules = seen;
  std::vector<ScriptRule> rules;
  std::string error;
  if (!ReadRules(WatchedRules.path, rules, error)) {
    Print('!', "rules not read again, the " + std::to_string(Rules.size()) +
                   " rules before stay: " + error);
    return;
  }
  const std::vector<std::string> changes = RuleChanges(Rules, rules);
  Print('*', "rules read again: " + std::to_string(rules.size()) + " rules, " +
                 std::to_string(changes.size()) + " lines changed");
  for (const std::string& change : changes) Print('*', change);
  Rules = std::move(rules);
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
      WatchedRules.path = value;
      LookAt(WatchedRules);
      Rules.clear();
      if (!ReadRules(WatchedRules.path, Rules, error)) {
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
  Print('*', "the game finds it: 5 s after the game starts, or within 2 s while it runs");

  std::thread(ReadTypedLines).detach();
  for (;;) {
    std::vector<Socket> watched = OpenConnections();
    watched.push_back(listener);
    const std::vector<bool> readable = WaitReadable(watched, kWaitMs);
    // The old connections first: a game that went away is then gone before a new one connects.
    for (std::size_t i = 0; i + 1 < watched.size(); ++i) {
      if (readable[i]) ReceiveFrom(watched[i], AnswerCommandLine);
    }
    ReleaseHeldBytes(AnswerCommandLine);
    if (readable.back()) AcceptNewConnection(listener);
    SendDueMessage();
    ReloadChangedRules();
  }
}
