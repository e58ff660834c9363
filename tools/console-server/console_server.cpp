#include "console_server.h"

#include <algorithm>
#include <utility>

#include "common/text_bytes.h"
#include "connections/web_test.h"
#include "programs/output_lines.h"

namespace {

// The first kLongestGameLine + 1 bytes of the held reads: enough to tell a web request from a
// game's line, and to see that a start is longer than any game's.
std::string TestedStart(const std::vector<std::string>& held) {
  std::string start;
  for (const std::string& read : held) {
    start.append(read, 0, kLongestGameLine + 1 - start.size());
    if (start.size() > kLongestGameLine) break;
  }
  return start;
}

std::string OpenConnections(std::size_t count) {
  return "(" + std::to_string(count) + " open)";
}

std::string ConnectionName(ConnectionId id) {
  return "connection " + std::to_string(id);
}

// The command as the chat shows it: "/weather".
std::string ShownCommand(std::string_view command) {
  return "/" + std::string(CutAtUtf8Boundary(command, kLongestCommandShown));
}

std::size_t DescriptorsKept(std::size_t descriptors) {
  return std::clamp(descriptors / 2, kFewestDescriptorsKept, kDescriptorsKept);
}

}  // namespace

std::size_t ConnectionsWithin(std::size_t descriptors) {
  const std::size_t kept = DescriptorsKept(descriptors);
  return descriptors > kept ? descriptors - kept : 1;
}

std::size_t DescriptorsFor(std::size_t connections) {
  return connections + kDescriptorsKept;
}

ConsoleServer::ConsoleServer(ServerSettings settings)
    : rules_(std::move(settings.rules)),
      ruleFile_(std::move(settings.ruleFile)),
      helpFolder_(std::move(settings.helpFolder)),
      ownUser_(std::move(settings.ownUser)),
      runTimeout_(settings.runTimeout),
      mostConnections_(settings.mostConnections) {}

ConsoleServer::Connection* ConsoleServer::Find(Socket socket) {
  for (Connection& connection : connections_) {
    if (connection.socket == socket) return &connection;
  }
  return nullptr;
}

ConsoleServer::Connection* ConsoleServer::FindId(ConnectionId id) {
  for (Connection& connection : connections_) {
    if (connection.id == id) return &connection;
  }
  return nullptr;
}

const ConsoleServer::Connection* ConsoleServer::FindId(ConnectionId id) const {
  return const_cast<ConsoleServer*>(this)->FindId(id);
}

// "connection 3 from 127.0.0.1:49822": the number ties a reply's "!" line to its connection.
std::string ConsoleServer::Named(const Connection& connection) const {
  return "connection " + std::to_string(connection.id) + " from " + connection.peer;
}

bool ConsoleServer::PrintConnectionNews(PrintedLine line, Decisions& decisions,
                                        ServerClock::time_point now) {
  if (!connectionNews_.Admit(now)) return false;
  decisions.printed.push_back(std::move(line));
  return true;
}

void ConsoleServer::PrintTraffic(Connection& connection, char mark, std::string_view line,
                                 Decisions& decisions, ServerClock::time_point now) {
  // Opened in a flood whose news was folded: its lines fold with that news for a while.
  if (now < connection.foldedUntil) {
    if (connectionNews_.Admit(now)) {
      decisions.printed.push_back({mark, Excerpt(line)});
    }
    return;
  }
  if (connection.traffic.Admit(now) && allTraffic_.Admit(now)) {
    decisions.printed.push_back({mark, Excerpt(line)});
  }
}

// A connection's count of lines not printed, itself folded with all connections' traffic.
void ConsoleServer::PrintTrafficFolded(ConnectionId id, std::size_t folded, std::string_view when,
                                       Decisions& decisions, ServerClock::time_point now) {
  if (folded == 0 || !allTraffic_.Admit(now, folded)) return;
  decisions.printed.push_back({'*', ConnectionName(id) + ": " + Counted(folded) +
                                        " more lines received or sent" + std::string(when) +
                                        ", not printed"});
}

// Forgets the connection and closes its socket; what waited for it is never sent.
void ConsoleServer::Close(Connection& connection, PrintedLine why, Decisions& decisions,
                          ServerClock::time_point now) {
  const ConnectionId id = connection.id;
  const std::size_t waiting = connection.replies.Waiting();
  const std::size_t folded = connection.traffic.Forget();
  decisions.closed.push_back(connection.socket);
  connections_.erase(connections_.begin() + (&connection - connections_.data()));
  if (why.mark == '*') why.text += " " + OpenConnections(connections_.size());
  PrintConnectionNews(std::move(why), decisions, now);
  PrintTrafficFolded(id, folded, "", decisions, now);
  if (waiting > 0) {
    PrintConnectionNews(
        {'!', ConnectionName(id) + " closed with " + Counted(waiting) + " messages not sent"},
        decisions, now);
  }
}

// Why a peer is not served, if it is not: its programs would run with console-server's rights,
// and it would read what they print. The first refusal of a user says why at length, the next
// ones in short.
std::optional<PrintedLine> ConsoleServer::Refusal(ConnectionId id, const std::string& peer,
                                                  const PeerOwner& owner) {
  const std::string refused = "refused " + ConnectionName(id) + " from " + peer;
  switch (owner.found) {
    case PeerFound::kUser:
      if (owner.user == ownUser_ || owner.administrator) return std::nullopt;
      if (!refusedUsers_.insert(owner.user).second) {
        return PrintedLine{'!', refused + ": user " + owner.user + " is not console-server's"};
      }
      return PrintedLine{'!', refused + " of user " + owner.user +
                                  ": console-server serves only the programs of its own user (" +
                                  ownUser_ +
                                  ") and of the administrator, since its rules run programs "
                                  "with its user's rights"};
    case PeerFound::kUserUnreadable:
      return PrintedLine{'!', refused + ": the user of its process " +
                                  std::to_string(owner.process.value_or(0)) + " cannot be read (" +
                                  Shown(owner.why) +
                                  "); console-server and the game must run as the same user, at "
                                  "the same elevation"};
    case PeerFound::kNotListed:
      return PrintedLine{'!', refused +
                                  ": the system lists no socket at its address (it has gone), so "
                                  "its user cannot be checked"};
    case PeerFound::kNoProcess:
      break;
  }
  return std::nullopt;
}

Decisions ConsoleServer::Accepted(Socket socket, std::string peer, const PeerOwner& owner,
                                  ServerClock::time_point now) {
  Decisions decisions;
  const ConnectionId id = ++lastConnection_;
  if (connections_.size() >= mostConnections_) {
    decisions.closed.push_back(socket);
    PrintConnectionNews(
        {'!', "refused " + ConnectionName(id) + " from " + peer + ": " + Counted(mostConnections_) +
                  " connections are open, and none is closed to make room"},
        decisions, now);
    return decisions;
  }
  if (std::optional<PrintedLine> refusal = Refusal(id, peer, owner)) {
    decisions.closed.push_back(socket);
    PrintConnectionNews(std::move(*refusal), decisions, now);
    return decisions;
  }
  Connection connection;
  connection.id = id;
  connection.socket = socket;
  connection.peer = std::move(peer);
  connection.process = owner.process;
  connections_.push_back(std::move(connection));
  // Until it is found, the connection shares the slots as one of its own.
  if (!owner.process && owner.socket) decisions.processesToFind.push_back({id, *owner.socket});
  if (!PrintConnectionNews(
          {'*', Named(connections_.back()) + " " + OpenConnections(connections_.size())}, decisions,
          now)) {
    connections_.back().foldedUntil = now + kFoldWindow;
  }
  if (owner.found == PeerFound::kNoProcess && !toldNoProcess_) {
    toldNoProcess_ = true;
    decisions.printed.push_back(
        {'!', Named(connections_.back()) + ": the system names no process for it (" +
                  Shown(owner.why) +
                  "), so no connection's user can be checked: every local program is served, "
                  "and the program slots are shared between connections"});
  }
  return decisions;
}

Decisions ConsoleServer::AcceptFailed(const AcceptFailure& failure, ServerClock::time_point now) {
  Decisions decisions;
  if (failure.end == AcceptEnd::kNoneWaiting) return decisions;
  // Not taken, the connection stays waiting and the listener ready: resting keeps the loop from
  // spinning on it.
  acceptRestsUntil_ = now + kAcceptRest;
  PrintConnectionNews({'!', "cannot take a connection: " + Shown(failure.why) +
                                "; trying again in " + std::to_string(kAcceptRest.count()) + " ms"},
                      decisions, now);
  return decisions;
}

bool ConsoleServer::Accepting(ServerClock::time_point now) const {
  return !acceptRestsUntil_ || now >= *acceptRestsUntil_;
}

Decisions ConsoleServer::Received(Socket socket, std::string_view bytes,
                                  ServerClock::time_point now) {
  Decisions decisions;
  Connection* connection = Find(socket);
  if (connection == nullptr || bytes.empty()) return decisions;
  if (connection->tested) {
    Answer(*connection, std::string(bytes), decisions, now);
    return decisions;
  }
  if (connection->held.empty()) connection->heldSince = now;
  connection->held.emplace_back(bytes);
  TestForWeb(*connection, decisions, now);
  return decisions;
}

void ConsoleServer::TestForWeb(Connection& connection, Decisions& decisions,
                               ServerClock::time_point now) {
  const std::string start = TestedStart(connection.held);
  const WebStart web = BeginsWebRequest(start);
  if (web == WebStart::kYes) {
    Close(connection,
          {'!', "closed " + Named(connection) +
                    ": it began with an HTTP request or a TLS handshake, as a web page or tool "
                    "sends, not a game"},
          decisions, now);
  } else if (web == WebStart::kMaybe && start.size() > kLongestGameLine) {
    Close(connection,
          {'!', "closed " + Named(connection) + ": its first " + Counted(kLongestGameLine) +
                    " bytes may still begin a web request, and no game sends a longer line"},
          decisions, now);
  } else if (web == WebStart::kNo) {
    Release(connection, decisions, now);
  }
}

void ConsoleServer::Release(Connection& connection, Decisions& decisions,
                            ServerClock::time_point now) {
  connection.tested = true;
  // An answer opens and closes no connection, so the reference stays good.
  for (const std::string& line : std::exchange(connection.held, {}))
    Answer(connection, line, decisions, now);
}

void ConsoleServer::Answer(Connection& connection, const std::string& line, Decisions& decisions,
                           ServerClock::time_point now) {
  PrintTraffic(connection, '>', line, decisions, now);
  const std::optional<ScriptAnswer> answer = ScriptAnswerTo(rules_, line);
  if (!answer) return;
  if (answer->run != nullptr) {
    StartRun(connection, *answer, decisions);
  } else if (const Result<> fits = CheckMessageText(answer->reply); !fits) {
    // A client can send such lines as fast as it likes: they fold.
    if (tooLong_.Admit(now)) decisions.printed.push_back({'!', fits.why()});
  } else {
    Queue(connection.id, answer->reply, decisions);
  }
}

// A process counts once however many connections it holds; where the system names none, each
// connection counts alone.
ConsoleServer::Party ConsoleServer::PartyOf(const Connection& connection) const {
  return connection.process ? Party{true, *connection.process} : Party{false, connection.id};
}

// The party of its connection now (whose process may have been found since it started); once
// the connection has closed, its process as known when the run started, or else the connection.
ConsoleServer::Party ConsoleServer::PartyOf(const Run& run) const {
  if (const Connection* connection = FindId(run.to)) return PartyOf(*connection);
  return run.process ? Party{true, *run.process} : Party{false, run.to};
}

std::size_t ConsoleServer::RunsOf(const Party& party) const {
  return static_cast<std::size_t>(std::count_if(
      runs_.begin(), runs_.end(), [&](const auto& run) { return PartyOf(run.second) == party; }));
}

// Of the parties with a connection open and no program running, the one connected longest: the
// game connects once and stays, so it always gets a run, however many connections another
// process opens.
std::optional<ConsoleServer::Party> ConsoleServer::LastSlotKeeper() const {
  // In the order they opened.
  for (const Connection& connection : connections_) {
    const Party party = PartyOf(connection);
    if (RunsOf(party) == 0) return party;
  }
  return std::nullopt;
}

std::string ConsoleServer::Named(const Party& party) const {
  return (party.isProcess ? "process " : "connection ") + std::to_string(party.id);
}

// While another party waits, no party may take the last free slot.
std::optional<std::string> ConsoleServer::WhyNotRun(const Connection& connection) const {
  if (runs_.size() >= kMostRunsAtOnce) {
    return std::to_string(kMostRunsAtOnce) + " programs run already";
  }
  if (runs_.size() + 1 < kMostRunsAtOnce) return std::nullopt;
  const std::optional<Party> keeper = LastSlotKeeper();
  if (!keeper || *keeper == PartyOf(connection)) return std::nullopt;
  return "the last program slot is kept for " + Named(*keeper) +
         ", connected longest of those with none running";
}

void ConsoleServer::StartRun(Connection& connection, const ScriptAnswer& answer,
                             Decisions& decisions) {
  const std::string shown = ShownCommand(answer.command);
  if (const std::optional<std::string> why = WhyNotRun(connection)) {
    if (busyRefusals_++ == 0) {
      decisions.printed.push_back({'!', Shown(shown) + ": not run, " + *why});
    }
    Queue(connection.id, "The server is busy: try " + shown + " again in a moment.", decisions);
    return;
  }
  TellBusyRefusals(decisions);
  const RunId id = ++lastRun_;
  runs_[id] = Run{connection.id, connection.process, shown};
  ProgramStart start;
  start.run = id;
  start.program.program = answer.run->program;
  start.program.arguments = answer.arguments;
  start.program.folder = answer.run->folder;
  start.program.checkBeforeStart = answer.run->checkBeforeStart;
  start.program.environment = {{"CONSOLE_LINE", answer.line},
                               {"CONSOLE_COMMAND", answer.command},
                               {"CONSOLE_ARGS", answer.args}};
  start.timeout = runTimeout_;
  decisions.printed.push_back({'*', Shown(shown) + ": running " + Shown(start.program.program)});
  decisions.runs.push_back(std::move(start));
}

void ConsoleServer::TellBusyRefusals(Decisions& decisions) {
  if (busyRefusals_ > 1) {
    decisions.printed.push_back(
        {'!', Counted(busyRefusals_ - 1) + " more commands not run while the programs were busy"});
  }
  busyRefusals_ = 0;
}

void ConsoleServer::Queue(ConnectionId to, std::string_view text, Decisions& decisions) {
  if (const Result<> fits = CheckMessageText(text); !fits) {
    decisions.printed.push_back({'!', fits.why()});
    return;
  }
  Connection* connection = FindId(to);
  if (connection == nullptr) {
    decisions.printed.push_back(
        {'!', ConnectionName(to) + " has closed; not sent: " + Excerpt(ConsoleMessage(text))});
    return;
  }
  AddReply(*connection, ConsoleMessage(text), decisions);
}

void ConsoleServer::AddReply(Connection& connection, const std::string& message,
                             Decisions& decisions) {
  if (const std::optional<std::string> dropped = connection.replies.Add(message)) {
    decisions.printed.push_back({'!', ConnectionName(connection.id) + ": " + *dropped});
  }
}

void ConsoleServer::QueueForEveryone(std::string_view text, Decisions& decisions) {
  if (const Result<> fits = CheckMessageText(text); !fits) {
    decisions.printed.push_back({'!', fits.why()});
    return;
  }
  const std::string message = ConsoleMessage(text);
  if (connections_.empty()) {
    decisions.printed.push_back({'!', "nothing is connected; not sent: " + Excerpt(message)});
    return;
  }
  for (Connection& connection : connections_) AddReply(connection, message, decisions);
}

Decisions ConsoleServer::Ended(Socket socket, ServerClock::time_point now) {
  Decisions decisions;
  Connection* connection = Find(socket);
  if (connection == nullptr) return decisions;
  Close(*connection, {'*', Named(*connection) + " closed"}, decisions, now);
  return decisions;
}

Decisions ConsoleServer::Sent(Socket socket, std::size_t count, ServerClock::time_point now) {
  Decisions decisions;
  Connection* connection = Find(socket);
  if (connection == nullptr) return decisions;
  if (const std::optional<std::string> message = connection->replies.Took(count)) {
    PrintTraffic(*connection, '<', *message, decisions, now);
  }
  return decisions;
}

std::string_view ConsoleServer::Unsent(Socket socket) const {
  for (const Connection& connection : connections_) {
    if (connection.socket == socket) return connection.replies.Unsent();
  }
  return {};
}

std::vector<Watch> ConsoleServer::Watched() const {
  std::vector<Watch> watches;
  watches.reserve(connections_.size());
  for (const Connection& connection : connections_) {
    watches.push_back({connection.socket, !connection.replies.Unsent().empty()});
  }
  return watches;
}

Decisions ConsoleServer::TimePassed(ServerClock::time_point now) {
  Decisions decisions;
  if (acceptRestsUntil_ && now >= *acceptRestsUntil_) acceptRestsUntil_.reset();
  // Backwards: a connection closed here leaves the ones before it where they are.
  for (std::size_t i = connections_.size(); i-- > 0;) {
    Connection& connection = connections_[i];
    if (connection.replies.Stuck(now)) {
      Close(connection,
            {'!', "closed " + Named(connection) + ": what was sent to it waited " +
                      std::to_string(kLongestSendWait.count()) +
                      " s for it to read, so it does not read"},
            decisions, now);
      continue;
    }
    if (!connection.held.empty() && now - connection.heldSince >= kLongestHold) {
      Release(connection, decisions, now);
    }
  }
  if (const std::size_t folded = connectionNews_.Due(now)) {
    decisions.printed.push_back({'*', Counted(folded) +
                                          " more lines of connections opened, closed or refused "
                                          "in a second, not printed " +
                                          OpenConnections(connections_.size())});
  }
  if (const std::size_t folded = tooLong_.Due(now)) {
    decisions.printed.push_back({'!', Counted(folded) + " more replies longer than " +
                                          std::to_string(kLongestMessage) +
                                          " bytes in a second, not sent nor printed"});
  }
  for (Connection& connection : connections_) {
    connection.replies.Pace(now);
    PrintTrafficFolded(connection.id, connection.traffic.Due(now), " in a second", decisions, now);
  }
  if (const std::size_t folded = allTraffic_.Due(now)) {
    decisions.printed.push_back({'*', Counted(folded) +
                                          " more lines received or sent by the connections in a "
                                          "second, not printed"});
  }
  return decisions;
}

std::optional<ServerClock::time_point> ConsoleServer::NextDue() const {
  std::optional<ServerClock::time_point> due;
  const auto sooner = [&due](std::optional<ServerClock::time_point> time) {
    if (time && (!due || *time < *due)) due = time;
  };
  sooner(connectionNews_.NextDue());
  sooner(tooLong_.NextDue());
  sooner(acceptRestsUntil_);
  sooner(allTraffic_.NextDue());
  for (const Connection& connection : connections_) {
    sooner(connection.replies.NextDue());
    sooner(connection.traffic.NextDue());
    if (!connection.held.empty()) sooner(connection.heldSince + kLongestHold);
  }
  return due;
}

Decisions ConsoleServer::Posted(PostedEvent event) {
  Decisions decisions;
  if (auto* typed = std::get_if<TypedLine>(&event)) {
    QueueForEveryone(typed->line, decisions);
  } else if (std::holds_alternative<InputEnded>(event)) {
    decisions.printed.push_back(
        {'*', "input ended: nothing more to send; still listening (Ctrl-C ends)"});
  } else if (auto* line = std::get_if<ProgramLine>(&event)) {
    const auto run = runs_.find(line->run);
    if (run != runs_.end()) Queue(run->second.to, line->line, decisions);
  } else if (auto* ended = std::get_if<ProgramEnded>(&event)) {
    EndRun(ended->run, ended->outcome, decisions);
  } else if (auto* found = std::get_if<ProcessFound>(&event)) {
    if (Connection* connection = FindId(found->connection)) connection->process = found->process;
  }
  return decisions;
}

void ConsoleServer::EndRun(RunId id, const RunOutcome& outcome, Decisions& decisions) {
  const auto found = runs_.find(id);
  if (found == runs_.end()) return;
  const Run run = found->second;
  runs_.erase(found);
  TellBusyRefusals(decisions);
  const std::string name = Shown(run.shown);
  if (outcome.droppedLines > 0) {
    decisions.printed.push_back({'!', name + ": " + Counted(outcome.droppedLines) +
                                          " more output lines not sent (" +
                                          std::to_string(kMostLinesPerRun) + " at most per run)"});
  }
  if (!outcome.ended) {
    decisions.printed.push_back({'!', name + ": " + Shown(outcome.ended.why())});
    Queue(run.to, run.shown + " could not be run.", decisions);
  } else if (outcome.ended->end == RunEnd::kTimedOut) {
    const std::string seconds = std::to_string(runTimeout_.count());
    decisions.printed.push_back({'!', name + ": ended after " + seconds + " s"});
    Queue(run.to, run.shown + " timed out after " + seconds + " s.", decisions);
  } else {
    const int status = outcome.ended->exitStatus;
    decisions.printed.push_back({'*', name + ": exit status " + std::to_string(status)});
    if (status != 0 && !outcome.printedAny) {
      Queue(run.to, run.shown + " failed (exit status " + std::to_string(status) + ").", decisions);
    }
  }
}

Decisions ConsoleServer::RulesRead(RuleFileNews news) {
  Decisions decisions;
  for (std::string& line : news.trouble) decisions.printed.push_back({'!', std::move(line)});
  for (std::string& line : news.news) decisions.printed.push_back({'*', std::move(line)});
  if (!news.rules) return decisions;
  // A run under way keeps the rule it started from: its start copied what it needs.
  rules_ = std::move(*news.rules);
  decisions.help = Help();
  return decisions;
}

Decisions ConsoleServer::Listening() const {
  Decisions decisions;
  decisions.help = Help();
  return decisions;
}

std::optional<HelpToWrite> ConsoleServer::Help() const {
  if (helpFolder_.empty()) return std::nullopt;
  return HelpToWrite{helpFolder_, rules_, ruleFile_};
}
