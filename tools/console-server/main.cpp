// console-server: a console program for the ConsoleRelay plugin, and the example to start from
// when writing one. It listens where the plugin connects, prints each command line a player
// sends, sends each line typed on stdin to the game's chat, and can answer commands from a rule
// file, with a canned reply or the output of a program. See README.md beside it for the wire
// format. The state is ConsoleServer's (console_server.h); the loop is serve_loop.cpp's.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "connections/peer_owner.h"
#include "connections/platform.h"
#include "connections/socket_wait.h"
#include "console_server.h"
#include "inbox.h"
#include "output/output.h"
#include "plugin_numbers.h"
#include "rules/rule_file.h"
#include "serve_loop.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kLongestExecTimeout = 3600;

// What the command line asks for.
struct Options {
  int port = kServerPort;
  std::optional<std::string> rulesPath;
  std::optional<std::chrono::seconds> execTimeout;
  // Where the rules' help files go; empty for none.
  std::filesystem::path helpFolder;
  bool showHelp = false;
};

std::string UsageText() {
  return "Usage: console-server [--port N] [--script RULES] [--exec-timeout S] [--help-dir DIR]\n"
         "A console program for the ConsoleRelay plugin. Listens on 127.0.0.1:" +
         std::to_string(kServerPort) +
         " (--port N:\n"
         "another port, 0 for any free one), prints every command line the game sends, and sends\n"
         "each line typed here to the game's chat (as \"console <line>\"). It serves the local\n"
         "clients of its own user and of the administrator only, each alike: its lines are\n"
         "answered on its own connection, and typed lines go to all.\n"
         "--script RULES answers commands from a rule file of \"COMMAND -> REPLY\" lines, and\n"
         "runs programs for \"COMMAND => PROGRAM ARG...\" lines.\n"
         "--exec-timeout S ends a program of a rule after S seconds (default 10).\n"
         "--help-dir DIR writes DIR/<command>Help.json from the comment line above each rule,\n"
         "the help a player sees for the command typed alone (DIR: the game's\n"
         "nativePC/plugins/ConsoleHelp).\n";
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

// When the plugin looks for a console program, in whole seconds.
std::string Seconds(std::chrono::milliseconds time) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(time).count()) + " s";
}

std::string WhenTheGameLooks() {
  return "the game looks for it " + Seconds(kSetUpConnectDelay) +
         " after the game starts, then every " + Seconds(kConnectRetry) +
         " once the game is ready (about " + Seconds(kSetUpConnectDelay + kSetUpGameWait) +
         " after it starts)";
}

// The settings from the options: the rules read for the first time into ruleFile, or why they
// cannot be.
Result<ServerSettings> Settings(const Options& options, std::optional<RuleFile>& ruleFile,
                                Output& output) {
  ServerSettings settings;
  if (options.execTimeout) settings.runTimeout = *options.execTimeout;
  settings.helpFolder = options.helpFolder;
  settings.ownUser = OwnUser();
  if (options.rulesPath) {
    RuleFile file(*options.rulesPath);
    Result<Noted<std::vector<ScriptRule>>> rules = file.ReadFirst();
    if (!rules) return Reason{"--script: " + rules.why()};
    for (const Reason& note : rules->notes) output.Print('!', Shown(note.text));
    settings.rules = std::move(rules->value);
    settings.ruleFile = file.Path();
    ruleFile.emplace(std::move(file));
  }
  return settings;
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
  // Lives as long as the process: Serve never returns.
  Output output(std::cout);
  // Looked at by the loop for changes.
  std::optional<RuleFile> ruleFile;
  Result<ServerSettings> settings = Settings(*options, ruleFile, output);
  if (!settings) {
    std::cerr << "console-server: " << settings.why() << '\n';
    return kUsageError;
  }
  const Result<std::size_t> descriptors = StartSockets();
  const Result<Listener> listener =
      descriptors ? ListenOnLoopback(options->port) : Result<Listener>(Reason{descriptors.why()});
  if (!listener) {
    std::cerr
        << "console-server: cannot listen on 127.0.0.1:" << options->port << ": " << listener.why()
        << " (another program listens on it, or the last run's connection is still closing)\n";
    return 1;
  }
  Result<std::unique_ptr<SocketWait>> wait = SocketWait::Start();
  if (!wait) {
    std::cerr << "console-server: cannot wait for its connections: " << wait.why() << '\n';
    return 1;
  }
  const std::size_t connectionsWithin = ConnectionsWithin(*descriptors);
  settings->mostConnections = std::min(kMostConnections, connectionsWithin);
  ConsoleServer server(std::move(*settings));
  output.Print('*', "listening on 127.0.0.1:" + std::to_string(listener->port) +
                        (server.Rules().empty()
                             ? ""
                             : " with " + std::to_string(server.Rules().size()) + " script rules"));
  if (connectionsWithin < kMostConnections) {
    // The soft limit is raised to the hard one already: only the hard one can give more.
    output.Print('!', "the system lets it hold " + Counted(*descriptors) +
                          " descriptors: at most " + Counted(connectionsWithin) +
                          " connections at once; for " + Counted(kMostConnections) +
                          ", raise the hard limit of open files to " +
                          Counted(DescriptorsFor(kMostConnections)) +
                          " (LimitNOFILE= in a service unit, --ulimit nofile= for a container, "
                          "or ulimit -Hn as root)");
  }
  output.Print('*', WhenTheGameLooks());
  Inbox inbox;
  // Only once it listens: a second console-server that cannot listen leaves the help alone.
  Apply(server.Listening(), inbox, output);
  StartReadingTypedLines(inbox);
  Serve(server, listener->socket, **wait, ruleFile, inbox, output);
}
