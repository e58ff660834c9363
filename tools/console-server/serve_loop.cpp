#include "serve_loop.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>

#include "connections/peer_owner.h"
#include "plugin_numbers.h"
#include "process_finder.h"
#include "rule_files.h"

namespace {

// One read must take the longest command line the plugin sends whole.
constexpr std::size_t kReadSize = 8192;
static_assert(kReadSize >= kLongestCommandLine);
// Connections taken from the listener in one pass: a flood of them leaves time for the rest.
constexpr std::size_t kMostAcceptsPerPass = 16;
// Reads in one pass of the sockets that stay ready (a flood of small pieces): the others wait
// for the next passes, the longest unread first. A pass stays short, so the next line of a
// connection that was quiet (the game's) waits for few reads, where each read is costly (under
// Wine every socket call is a round trip to the wineserver).
constexpr std::size_t kMostSteadyReadsPerPass = 32;

void ReadTypedLines(Inbox& inbox) {
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    inbox.Post(TypedLine{std::move(line)});
  }
  inbox.Post(InputEnded{});
}

// What one pass works with; applying decisions here also tells the wait which sockets close.
struct Loop {
  ConsoleServer& server;
  Socket listener;
  SocketWait& wait;
  Inbox& inbox;
  Output& output;
  // The sockets that had bytes or an end to read in the last pass, and the pass each was last
  // read in.
  std::unordered_map<Socket, std::uint64_t> readyLastPass;
  std::uint64_t pass = 0;

  void Apply(const Decisions& decisions) {
    for (const Socket socket : decisions.closed) wait.Forget(socket);
    ::Apply(decisions, inbox, output);
  }

  // Whether the socket is still open.
  bool Send(Socket socket) {
    const Result<std::size_t> sent = SendSome(socket, server.Unsent(socket));
    const auto now = ServerClock::now();
    if (!sent) {
      Apply(server.Ended(socket, now));
      return false;
    }
    Apply(server.Sent(socket, *sent, now));
    return true;
  }

  void Read(Socket socket) {
    char buffer[kReadSize];
    const Received received = ReceiveBytes(socket, buffer, sizeof(buffer));
    const auto now = ServerClock::now();
    if (received.end == ReceiveEnd::kBytes) {
      Apply(server.Received(socket, std::string_view(buffer, received.count), now));
    } else if (received.end == ReceiveEnd::kClosed) {
      Apply(server.Ended(socket, now));
    }
  }
};

// Sends first: a reply that became due goes out before any read. Then the sockets that had
// nothing to read in the last pass (a game's new line among them, never a flood, which is ready
// on every pass) are read, and their replies sent at once, before the sockets that stay ready,
// of which kMostSteadyReadsPerPass are read: the game's reply waits for few reads of a flood's.
void ServeConnections(Loop& loop, const std::vector<ReadySocket>& ready) {
  const std::uint64_t pass = ++loop.pass;
  std::vector<Socket> ended;
  for (const ReadySocket& one : ready) {
    // Closed now: its read must wait for no socket of that number.
    if (one.ready.write && one.socket != loop.listener && !loop.Send(one.socket))
      ended.push_back(one.socket);
  }
  std::unordered_map<Socket, std::uint64_t> readyNow;
  std::vector<Socket> fresh;
  std::vector<std::pair<std::uint64_t, Socket>> steady;  // (last read, socket)
  for (const ReadySocket& one : ready) {
    if (!one.ready.read || one.socket == loop.listener) continue;
    if (std::find(ended.begin(), ended.end(), one.socket) != ended.end()) continue;
    const auto before = loop.readyLastPass.find(one.socket);
    if (before == loop.readyLastPass.end()) {
      fresh.push_back(one.socket);
      readyNow[one.socket] = pass;
    } else {
      steady.emplace_back(before->second, one.socket);
      readyNow[one.socket] = before->second;
    }
  }
  for (const Socket socket : fresh) loop.Read(socket);
  if (!fresh.empty() && !steady.empty()) {
    loop.Apply(loop.server.TimePassed(ServerClock::now()));
    for (const Socket socket : fresh) {
      if (!loop.server.Unsent(socket).empty()) loop.Send(socket);
    }
  }
  const std::size_t steadyReads = std::min(steady.size(), kMostSteadyReadsPerPass);
  std::partial_sort(steady.begin(), steady.begin() + static_cast<std::ptrdiff_t>(steadyReads),
                    steady.end());
  for (std::size_t i = 0; i < steadyReads; ++i) {
    loop.Read(steady[i].second);
    readyNow[steady[i].second] = pass;
  }
  loop.readyLastPass = std::move(readyNow);
}

// The connections waiting, each handed to the owner with whose it is: the system's tables are
// read once for all that one pass takes.
void AcceptWaiting(Loop& loop) {
  std::vector<Accepted> taken;
  std::optional<AcceptFailure> failure;
  // Counted in tries, not in connections taken: a storm of resets ends the pass as well.
  for (std::size_t tries = 0; tries < kMostAcceptsPerPass; ++tries) {
    std::variant<Accepted, AcceptFailure> next = AcceptConnection(loop.listener);
    if (auto* failed = std::get_if<AcceptFailure>(&next)) {
      // Gone before it was taken (a connect-and-reset storm): the next may be a game's.
      if (failed->end == AcceptEnd::kPeerGone) continue;
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
    loop.Apply(loop.server.Accepted(taken[i].socket, std::move(taken[i].peer), owners[i], now));
  }
  if (failure) loop.Apply(loop.server.AcceptFailed(*failure, now));
}

// How long the wait may last: until the owner's next due time or the next look at the rules,
// whichever comes first (never less than nothing).
std::chrono::milliseconds Until(std::optional<ServerClock::time_point> due,
                                ServerClock::time_point nextLook, ServerClock::time_point now) {
  const ServerClock::time_point until = due ? std::min(*due, nextLook) : nextLook;
  if (until <= now) return std::chrono::milliseconds(0);
  // Rounded up: a wait that ends a little early would only wake once more for nothing.
  return std::chrono::ceil<std::chrono::milliseconds>(until - now);
}

}  // namespace

void StartReadingTypedLines(Inbox& inbox) {
  // Untied: each read of std::cin would first flush std::cout, and wait with it for an output
  // that nobody reads, so the admin's lines would never arrive.
  std::cin.tie(nullptr);
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

void Serve(ConsoleServer& server, Socket listener, SocketWait& wait,
           std::optional<RuleFile>& ruleFile, Inbox& inbox, Output& output) {
  Loop loop{server, listener, wait, inbox, output, {}, 0};
  inbox.WakeWith([&wait] { wait.Wake(); });
  // The rule file is looked at once kRuleFileCheck has passed since the last look; the loop
  // keeps that time, the owner the rest.
  ServerClock::time_point nextLook = ServerClock::now();
  for (;;) {
    std::vector<Watch> watches = server.Watched();
    const auto before = ServerClock::now();
    if (server.Accepting(before)) watches.push_back({listener, false});
    const std::vector<ReadySocket> ready =
        wait.Wait(watches, Until(server.NextDue(), nextLook, before));
    // The open connections first: one that ended then makes room before a new one is taken.
    ServeConnections(loop, ready);
    if (std::any_of(ready.begin(), ready.end(),
                    [&](const ReadySocket& one) { return one.socket == listener; }))
      AcceptWaiting(loop);
    for (PostedEvent& event : inbox.TakeAll()) loop.Apply(server.Posted(std::move(event)));
    const auto now = ServerClock::now();
    loop.Apply(server.TimePassed(now));
    if (now >= nextLook) {
      loop.Apply(LookAtRules(ruleFile, server, now));
      nextLook = now + kRuleFileCheck;
    }
  }
}
