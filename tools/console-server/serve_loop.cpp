#include "serve_loop.h"

#include <iostream>
#include <string>
#include <thread>
#include <utility>

#include "connections/peer_owner.h"
#include "plugin_numbers.h"
#include "process_finder.h"
#include "rule_files.h"

namespace {

// How long one wait on the sockets lasts at most: the pace of the replies and of the inbox.
constexpr int kWaitMs = 20;
// One read must take the longest command line the plugin sends whole.
constexpr std::size_t kReadSize = 8192;
static_assert(kReadSize >= kLongestCommandLine);
// Connections taken from the listener in one pass: a flood of them leaves time for the rest.
constexpr std::size_t kMostAcceptsPerPass = 16;

void ReadTypedLines(Inbox& inbox) {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    inbox.Post(TypedLine{std::move(line)});
  }
  inbox.Post(InputEnded{});
}

void ServeConnections(ConsoleServer& server, const std::vector<Watch>& watches,
                      const std::vector<Ready>& ready, Inbox& inbox, Output& output) {
  char buffer[kReadSize];
  for (std::size_t i = 0; i < watches.size(); ++i) {
    const Socket socket = watches[i].socket;
    if (ready[i].write) {
      const std::string_view unsent = server.Unsent(socket);
      const Result<std::size_t> sent = SendSome(socket, unsent);
      const auto now = ServerClock::now();
      if (!sent) {
        // Closed now: its number may already be another socket's.
        Apply(server.Ended(socket, now), inbox, output);
        continue;
      }
      Apply(server.Sent(socket, *sent, now), inbox, output);
    }
    if (ready[i].read) {
      const Received received = ReceiveBytes(socket, buffer, sizeof(buffer));
      const auto now = ServerClock::now();
      if (received.end == ReceiveEnd::kBytes) {
        Apply(server.Received(socket, std::string_view(buffer, received.count), now), inbox,
              output);
      } else if (received.end == ReceiveEnd::kClosed) {
        Apply(server.Ended(socket, now), inbox, output);
      }
    }
  }
}

// The connections waiting, each handed to the owner with whose it is: the system's tables are
// read once for all that one pass takes.
void AcceptWaiting(ConsoleServer& server, Socket listener, Inbox& inbox, Output& output) {
  std::vector<Accepted> taken;
  std::optional<AcceptFailure> failure;
  while (taken.size() < kMostAcceptsPerPass) {
    std::variant<Accepted, AcceptFailure> next = AcceptConnection(listener);
    if (auto* failed = std::get_if<AcceptFailure>(&next)) {
      failure = std::move(*failed);
      break;
    }
    taken.push_back(std::move(std::get<Accepted>(next)));
  }
  std::vector<ConnectionEnds> ends;
  for (const Accepted& accepted : taken) ends.push_back({accepted.peerEnd, accepted.ownEnd});
  const std::vector<PeerOwner> owners = LookUpPeerOwners(ends);
  const auto now = ServerClock::now();
  for (std::size_t i = 0; i < taken.size(); ++i) {
    Apply(server.Accepted(taken[i].socket, std::move(taken[i].peer), owners[i], now), inbox,
          output);
  }
  if (failure) Apply(server.AcceptFailed(*failure, now), inbox, output);
}

}  // namespace

void StartReadingTypedLines(Inbox& inbox) {
  std::thread(ReadTypedLines, std::ref(inbox)).detach();
}

void Apply(const Decisions& decisions, Inbox& inbox, Output& output) {
  for (const Socket socket : decisions.closed) CloseSocket(socket);
  for (const PrintedLine& line : decisions.printed) output.Print(line);
  if (decisions.help) {
    for (const PrintedLine& line : WriteHelp(*decisions.help)) output.Print(line);
  }
  for (const ProgramStart& start : decisions.runs) {
    BackgroundRun run;
    run.program = start.program;
    run.timeout = start.timeout;
    run.longestLine = kLongestText;
    const RunId id = start.run;
    run.onLine = [&inbox, id](std::string line) { inbox.Post(ProgramLine{id, std::move(line)}); };
    run.onEnd = [&inbox, id](RunOutcome outcome) {
      inbox.Post(ProgramEnded{id, std::move(outcome)});
    };
    StartInBackground(std::move(run));
  }
  FindProcesses(decisions.processesToFind, inbox);
}

void Serve(ConsoleServer& server, Socket listener, std::optional<RuleFile>& ruleFile, Inbox& inbox,
           Output& output) {
  for (;;) {
    std::vector<Watch> watches = server.Watched();
    const bool accepting = server.Accepting(ServerClock::now());
    if (accepting) watches.push_back({listener, false});
    const std::vector<Ready> ready = WaitForSockets(watches, kWaitMs);
    // The open connections first: one that ended then makes room before a new one is taken.
    if (accepting) watches.pop_back();
    ServeConnections(server, watches, ready, inbox, output);
    if (accepting && ready.back().read) AcceptWaiting(server, listener, inbox, output);
    for (PostedEvent& event : inbox.TakeAll())
      Apply(server.Posted(std::move(event)), inbox, output);
    const auto now = ServerClock::now();
    Apply(server.TimePassed(now), inbox, output);
    Apply(LookAtRules(ruleFile, server, now), inbox, output);
  }
}
