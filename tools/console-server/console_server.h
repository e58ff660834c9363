// The one owner of console-server's state: the connections (each one record: its socket, its
// peer's process, its web test, its replies, the bytes its socket has not taken and its fold of
// lines), the rules, the programs that run and the help folder. It takes what happened as events
// and answers with decisions, and touches no socket and opens no file itself: the loop in
// serve_loop.cpp waits, reads, sends and applies them, and rule_files.cpp reads the rule file and
// writes the help files. So every decision is a row of a table in console_server_test.cpp.
//
// It serves the programs of its own user and of the administrator only: its rules run programs
// with its user's rights, and answer with what they print. Every client so served is served
// alike, the game being one of them, and nothing one client does can stop the others being
// served: no call waits, each command line is answered on its own connection, a connection that
// does not read is closed once its bytes wait kLongestSendWait, an open connection is never
// closed to make room, the program slots are shared between processes (the last one kept for the
// process connected longest of those with none running), and what one client makes
// console-server print is folded and bounded.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "connections/peer_owner.h"
#include "connections/platform.h"
#include "connections/reply_queue.h"
#include "output/line_folds.h"
#include "output/printed_line.h"
#include "programs/background_run.h"
#include "rules/rule_file.h"
#include "rules/script_rules.h"
#include "server_clock.h"

using ConnectionId = std::uint64_t;
using RunId = std::uint64_t;

// Connections open at once; one more is refused, and none is closed to make room. The game
// needs one and a few tools a few more: this many idle local connections keep a game out.
constexpr std::size_t kMostConnections = 1000;
// Descriptors kept for what is not a connection: the listener, the output, the wait and its
// wake, the rule file, the help files, the programs' pipes. Under a low limit (a service's
// LimitNOFILE, a container) half the limit is kept, but never fewer than kFewestDescriptorsKept,
// which is what they need: a limit of 64 still serves 32 connections.
constexpr std::size_t kDescriptorsKept = 64;
constexpr std::size_t kFewestDescriptorsKept = 32;
// Programs of "=>" rules that run at once.
constexpr std::size_t kMostRunsAtOnce = 4;
// Lines received or sent, of all connections together, printed in a second: past it they are
// counted, so that many clients that each stay under their own fold cannot flood the output.
constexpr std::size_t kTrafficLinesBeforeFolding = 50;
// After an accept fails for lack of descriptors, the listener rests this long.
constexpr auto kAcceptRest = std::chrono::milliseconds(250);
// What a chat line quotes of the command a player typed.
constexpr std::size_t kLongestCommandShown = 60;

// A program to start on a thread of its own, whose lines and end come back as events.
struct ProgramStart {
  RunId run = 0;
  ProgramToRun program;
  std::chrono::seconds timeout{10};
};

// The help folder to bring in line with the rules (WriteRuleHelp of rule_help.h).
struct HelpToWrite {
  std::filesystem::path folder;
  std::vector<ScriptRule> rules;
  std::string ruleFile;  // whose mark the files get
};

// A connection whose peer's process is to be found from its socket, on a thread of its own
// (process_finder.h): the answer comes back as ProcessFound.
struct ProcessToFind {
  ConnectionId connection = 0;
  HeldSocket socket;
};

// What the loop does next, in this order: close, print, write the help, start, find.
struct Decisions {
  std::vector<Socket> closed;
  std::vector<PrintedLine> printed;
  std::optional<HelpToWrite> help;
  std::vector<ProgramStart> runs;
  std::vector<ProcessToFind> processesToFind;
};

// The events that other threads post to the loop's inbox.
struct TypedLine {
  std::string line;
};
struct InputEnded {};
struct ProgramLine {
  RunId run = 0;
  std::string line;
};
struct ProgramEnded {
  RunId run = 0;
  RunOutcome outcome;
};
struct ProcessFound {
  ConnectionId connection = 0;
  std::optional<ProcessId> process;  // none when it could not be found
};
using PostedEvent = std::variant<TypedLine, InputEnded, ProgramLine, ProgramEnded, ProcessFound>;

struct ServerSettings {
  std::vector<ScriptRule> rules;
  std::string ruleFile;              // its path, empty for none
  std::filesystem::path helpFolder;  // empty for none
  std::string ownUser;               // OwnUser(): whose programs are served
  std::chrono::seconds runTimeout{10};
  std::size_t mostConnections = kMostConnections;
};

// The connections that a number of descriptors can hold, besides the ones kept (at least one).
std::size_t ConnectionsWithin(std::size_t descriptors);
// The limit of descriptors under which that many connections fit beside kDescriptorsKept.
std::size_t DescriptorsFor(std::size_t connections);

class ConsoleServer {
 public:
  explicit ConsoleServer(ServerSettings settings);

  // The events of the loop. The peer's owner is what the system told of it (peer_owner.h).
  Decisions Accepted(Socket socket, std::string peer, const PeerOwner& owner,
                     ServerClock::time_point now);
  Decisions AcceptFailed(const AcceptFailure& failure, ServerClock::time_point now);
  Decisions Received(Socket socket, std::string_view bytes, ServerClock::time_point now);
  Decisions Ended(Socket socket, ServerClock::time_point now);
  Decisions Sent(Socket socket, std::size_t count, ServerClock::time_point now);
  Decisions TimePassed(ServerClock::time_point now);
  // The events of the other threads.
  Decisions Posted(PostedEvent event);
  // What a look at the rule file found; a new reading replaces the rules, and the help follows.
  Decisions RulesRead(RuleFileNews news);
  // Once listening: the help folder is brought in line with the rules.
  Decisions Listening() const;

  // What the loop watches: every connection for reading, and for room to send where bytes wait.
  std::vector<Watch> Watched() const;
  // Whether the listener is watched now: not while it rests after a failed accept. A full table
  // still takes connections, to refuse them at once: a game that is refused tries again.
  bool Accepting(ServerClock::time_point now) const;
  // The bytes that wait for the connection's socket.
  std::string_view Unsent(Socket socket) const;
  // When TimePassed next has something to do that no event brings: a paced reply to start, a
  // send that waits too long, held reads to release, the listener's rest to end, a folded count
  // to print. Nothing when only an event can bring work. After TimePassed(now), it is later
  // than now.
  std::optional<ServerClock::time_point> NextDue() const;

  const std::vector<ScriptRule>& Rules() const { return rules_; }

 private:
  // Who the program slots are shared between: a process, or a connection where the system names
  // no process for it.
  struct Party {
    bool isProcess = false;
    std::uint64_t id = 0;  // the ProcessId or the ConnectionId
    bool operator==(const Party& other) const {
      return isProcess == other.isProcess && id == other.id;
    }
  };
  struct Connection {
    ConnectionId id = 0;
    Socket socket = kNoSocket;
    std::string peer;
    std::optional<ProcessId> process;  // where the system names it
    // The reads held while they may begin a web request, each one command line when released.
    std::vector<std::string> held;
    bool tested = false;                // whether the web test is done
    ServerClock::time_point heldSince;  // of the first held read
    ReplyQueue replies;
    FoldWindow traffic;  // the lines it sends and gets, as printed
    // Opened in a flood of connections whose news was folded: its lines until then fold with
    // that news, so that connect-send-reset storms print a few lines a second.
    ServerClock::time_point foldedUntil;
  };
  // A connection's programs running now are counted from runs_, never kept beside it.
  struct Run {
    ConnectionId to = 0;
    std::optional<ProcessId> process;  // of its connection, as known when it started
    std::string shown;                 // "/weather"
  };

  Connection* Find(Socket socket);
  Connection* FindId(ConnectionId id);
  const Connection* FindId(ConnectionId id) const;
  void Close(Connection& connection, PrintedLine why, Decisions& decisions,
             ServerClock::time_point now);
  void TestForWeb(Connection& connection, Decisions& decisions, ServerClock::time_point now);
  void Release(Connection& connection, Decisions& decisions, ServerClock::time_point now);
  void Answer(Connection& connection, const std::string& line, Decisions& decisions,
              ServerClock::time_point now);
  void StartRun(Connection& connection, const ScriptAnswer& answer, Decisions& decisions);
  Party PartyOf(const Connection& connection) const;
  Party PartyOf(const Run& run) const;
  std::size_t RunsOf(const Party& party) const;
  std::optional<Party> LastSlotKeeper() const;
  std::string Named(const Party& party) const;
  std::optional<std::string> WhyNotRun(const Connection& connection) const;
  std::optional<PrintedLine> Refusal(ConnectionId id, const std::string& peer,
                                     const PeerOwner& owner);
  std::optional<HelpToWrite> Help() const;
  void Queue(ConnectionId to, std::string_view text, Decisions& decisions);
  void QueueForEveryone(std::string_view text, Decisions& decisions);
  void AddReply(Connection& connection, const std::string& message, Decisions& decisions);
  void EndRun(RunId id, const RunOutcome& outcome, Decisions& decisions);
  // Whether it printed the line (or folded it).
  bool PrintConnectionNews(PrintedLine line, Decisions& decisions, ServerClock::time_point now);
  void PrintTraffic(Connection& connection, char mark, std::string_view line, Decisions& decisions,
                    ServerClock::time_point now);
  void PrintTrafficFolded(ConnectionId id, std::size_t folded, std::string_view when,
                          Decisions& decisions, ServerClock::time_point now);
  void TellBusyRefusals(Decisions& decisions);
  std::string Named(const Connection& connection) const;

  std::vector<ScriptRule> rules_;
  std::string ruleFile_;
  std::filesystem::path helpFolder_;
  std::string ownUser_;
  std::chrono::seconds runTimeout_;
  std::size_t mostConnections_;

  std::vector<Connection> connections_;
  // A number is never used again, so that a program's late output cannot reach a connection
  // that opened after its own closed.
  ConnectionId lastConnection_ = 0;
  std::map<RunId, Run> runs_;
  RunId lastRun_ = 0;
  // Commands refused since the last run started or ended; the first of them was printed.
  std::size_t busyRefusals_ = 0;
  std::optional<ServerClock::time_point> acceptRestsUntil_;
  // The lines of the owner's own kinds (connections opened, closed or refused), as printed.
  // News of connections (opened, closed, refused), and replies too long, of every connection.
  FoldWindow connectionNews_;
  FoldWindow tooLong_;
  FoldWindow allTraffic_{kTrafficLinesBeforeFolding};
  // The users refused so far: each is told why once, at length.
  std::set<std::string> refusedUsers_;
  // Whether the "!" line for a peer that the system names no process for was printed.
  bool toldNoProcess_ = false;
};
