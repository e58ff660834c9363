// console-server: a console program for the ConsoleRelay plugin, and the example to start from
// when writing one. It listens where the plugin connects, prints each command line a player
// sends, sends each line typed on stdin to the game's chat, and can answer commands from a rule
// file, with a canned reply or the output of a program. See README.md beside it for the wire
// format.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "command_runs.h"
#include "common/text_bytes.h"
#include "connections.h"
#include "connections/platform.h"
#include "messages.h"
#include "plugin_numbers.h"
#include "rules/rule_file.h"
#include "rules/rule_help.h"
#include "rules/script_rules.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kWaitMs = 20;
constexpr int kLongestExecTimeout = 3600;

std::vector<ScriptRule> Rules;

// What the command line asks for.
struct Options {
  int port = kServerPort;
  std::optional<std::string> rulesPath;
  std::optional<std::chrono::seconds> execTimeout;
  // Where the rules' help files go; empty for none.
  std::filesystem::path helpFolder;
  bool showHelp = false;
};

std::optional<RuleFile> WatchedRules;
std::filesystem::path HelpFolder;

std::string UsageText() {
  return "Usage: console-server [--port N] [--script RULES] [--exec-timeout S] [--help-dir DIR]\n"
         "A console program for the ConsoleRelay plugin. Listens on 127.0.0.1:" +
         std::to_string(kServerPort) +
         " (--port N:\n"
         "another port, 0 for any free one), prints every command line the game sends, and sends\n"
         "each line typed here to the game's chat (as \"console <line>\"). Every local client is\n"
         "served alike: its lines are answered on its own connection, and typed lines go to all.\n"
         "--script RULES answers commands from a rule file of \"COMMAND -> REPLY\" lines, and\n"
         "runs programs for \"COMMAND => PROGRAM ARG...\" lines.\n"
         "--exec-timeout S ends a program of a rule after S seconds (default 10).\n"
         "--help-dir DIR writes DIR/<command>Help.json from the comment line above each rule,\n"
         "the help a player sees for the command typed alone (DIR: the game's\n"
         "nativePC/plugins/ConsoleHelp).\n";
}

// Answers a command line on the connection that sent it.
void AnswerCommandLine(const CommandLine& received) {
  Print('>', EscapedBytes(received.line));
  const std::optional<ScriptAnswer> answer = ScriptAnswerTo(Rules, received.line);
  if (!answer) return;
  if (answer->run != nullptr) {
    StartCommandRun(*answer, received.from);
  } else {
    QueueReply(received.from, answer->reply);
  }
}

// Closes first: once a line tells that a connection closed, nothing more is queued for it.
void Apply(const Decisions& decisions) {
  for (const ConnectionId closed : decisions.closed) CloseConnection(closed);
  for (const PrintedLine& line : decisions.printed) Print(line.mark, line.text);
  for (const CommandLine& line : decisions.lines) AnswerCommandLine(line);
}

// Brings the help files in line with the rules.
void WriteRuleHelp() {
  if (HelpFolder.empty()) return;
  const Noted<std::vector<std::string>> done = WriteRuleHelp(HelpFolder, Rules);
  for (const std::string& line : done.value) Print('*', line);
  for (const Reason& note : done.notes) Print('!', note.text);
}

// Reads the rule file again when it changed.
void ReloadChangedRules() {
  if (!WatchedRules) return;
  RuleFileNews found = WatchedRules->Look(std::chrono::steady_clock::now(), Rules);
  for (const std::string& line : found.trouble) Print('!', line);
  for (const std::string& line : found.news) Print('*', line);
  if (!found.rules) return;
  Rules = std::move(*found.rules);
  WriteRuleHelp();
}

void ReadTypedLines() {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    QueueForEveryone(line);
  }
  Print('*', "input ended: nothing more to send; still listening (Ctrl-C ends)");
}

// The number that text writes in decimal digits, if it is at most largest.
std::optional<int> WholeNumber(std::string_view text, int largest) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number > largest) return std::nullopt;
  return number;
}

// The options, in the order given; the first bad one stops the reading.
Result<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      options.showHelp = true;
      return options;
    }
    const std::string_view shape = argument == "--port"           ? "--port N"
                                   : argument == "--script"       ? "--script RULES"
                                   : argument == "--exec-timeout" ? "--exec-timeout S"
                                   : argument == "--help-dir"     ? "--help-dir DIR"
                                                                  : "";
    if (shape.empty()) {
      return Reason{"unknown option " + std::string(argument) + "\n\n" + UsageText()};
    }
    if (i + 1 == argc) {
      return Reason{std::string(argument) + " needs a value (" + std::string(shape) + ")"};
    }
    const std::string value = argv[++i];
    if (argument == "--port") {
      const std::optional<int> number = WholeNumber(value, 65535);
      if (!number) {
        return Reason{"--port \"" + value +
                      "\" is not a port number (a whole number from 0 to 65535)"};
      }
      options.port = *number;
    } else if (argument == "--exec-timeout") {
      const std::optional<int> seconds = WholeNumber(value, kLongestExecTimeout);
      if (!seconds || *seconds == 0) {
        return Reason{"--exec-timeout \"" + value +
                      "\" is not a number of seconds (a whole number from 1 to " +
                      std::to_string(kLongestExecTimeout) + ")"};
      }
      options.execTimeout = std::chrono::seconds(*seconds);
    } else if (argument == "--help-dir") {
      options.helpFolder = std::filesystem::u8path(value);
      std::error_code status;
      if (!std::filesystem::is_directory(options.helpFolder, status)) {
        return Reason{"--help-dir: " + value +
                      " is no folder (the game's nativePC/plugins/ConsoleHelp)"};
      }
    } else {
      options.rulesPath = value;
    }
  }
  return options;
}

// Serves the connections for ever: reads, accepts, answers and sends in one loop.
[[noreturn]] void Serve(Socket listener) {
  std::thread(ReadTypedLines).detach();
  for (;;) {
    std::vector<Socket> watched = OpenSockets();
    watched.push_back(listener);
    const std::vector<bool> readable = WaitReadable(watched, kWaitMs);
    // The open connections first: one that ended then makes room before a new one is taken.
    for (std::size_t i = 0; i + 1 < watched.size(); ++i) {
      if (readable[i]) Apply(ReceiveFrom(watched[i]));
    }
    Apply(ReleaseHeldBytes());
    if (readable.back()) Apply(AcceptNewConnection(listener));
    SendDueMessages();
    ReloadChangedRules();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Result<Options> options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << "console-server: " << options.why() << '\n';
    return kUsageError;
  }
  if (options->showHelp) {
    std::cout << UsageText();
    return 0;
  }
  if (options->execTimeout) SetRunTimeout(*options->execTimeout);
  if (options->rulesPath) {
    WatchedRules.emplace(*options->rulesPath);
    Result<Noted<std::vector<ScriptRule>>> rules = WatchedRules->ReadFirst();
    if (!rules) {
      std::cerr << "console-server: --script: " << rules.why() << '\n';
      return kUsageError;
    }
    for (const Reason& note : rules->notes) Print('!', note.text);
    Rules = std::move(rules->value);
  }
  HelpFolder = options->helpFolder;

  const Result<> started = StartSockets();
  const Result<Listener> listener =
      started ? ListenOnLoopback(options->port) : Result<Listener>(Reason{started.why()});
  if (!listener) {
    std::cerr
        << "console-server: cannot listen on 127.0.0.1:" << options->port << ": " << listener.why()
        << " (another program listens on it, or the last run's connection is still closing)\n";
    return 1;
  }
  Print('*', "listening on 127.0.0.1:" + std::to_string(listener->port) +
                 (Rules.empty() ? "" : " with " + std::to_string(Rules.size()) + " script rules"));
  Print('*',
        "the game looks for it 5 s after the game starts, then every 2 s once the game is "
        "ready (about 45 s after it starts)");
  // Only once it listens: a second console-server that cannot listen leaves the help alone.
  WriteRuleHelp();
  Serve(listener->socket);
}
