#include "console_server.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "connections/web_test.h"
#include "programs/output_lines.h"

// For failures: "! text".
void PrintTo(const PrintedLine& line, std::ostream* out) {
  *out << line.mark << ' ' << line.text;
}

namespace {

using std::chrono::milliseconds;
using Event = std::function<Decisions(ConsoleServer&, ServerClock::time_point)>;

// One thing that happens to the server, at a time since the story began, and what it decides:
// every line it prints (exactly), the sockets it closes, the programs it starts, and, where
// given, the bytes that then wait for a socket and the sockets whose process it asks to find.
struct Step {
  Event event;
  milliseconds at{0};
  std::vector<PrintedLine> printed = {};
  std::vector<Socket> closed = {};
  std::size_t runs = 0;
  std::optional<std::pair<Socket, std::string>> unsent = std::nullopt;
  std::vector<std::uint64_t> toFind = {};  // their inodes
};

struct Story {
  std::string name;
  std::vector<Step> steps;
  std::size_t mostConnections = kMostConnections;
};

const std::string kPeer = "127.0.0.1:5000";
// console-server's own user, as the system writes it.
const std::string kOwnUser = "1000";

// A program of console-server's own user: process 100 + n holds connection n, unless told.
PeerOwner Own(ProcessId process) {
  PeerOwner owner;
  owner.found = PeerFound::kUser;
  owner.user = kOwnUser;
  owner.process = process;
  return owner;
}
PeerOwner OfUser(std::string user, bool administrator = false) {
  PeerOwner owner = Own(4321);
  owner.user = std::move(user);
  owner.administrator = administrator;
  return owner;
}
// Linux's answer: the user at once, the process to be found from the socket.
PeerOwner OwnSocket(std::uint64_t inode) {
  PeerOwner owner = Own(0);
  owner.process.reset();
  owner.socket = HeldSocket{inode, 1000};
  return owner;
}
// Wine's answer: its table of connections gives process 0.
PeerOwner NoProcess() {
  PeerOwner owner;
  owner.found = PeerFound::kNoProcess;
  owner.why = "its table of connections gives process 0";
  return owner;
}

// Socket n is connection n, accepted in that order.
std::string Name(Socket socket) {
  return "connection " + std::to_string(socket) + " from " + kPeer;
}

Event AcceptFrom(Socket socket, PeerOwner owner) {
  return [=](ConsoleServer& server, ServerClock::time_point now) {
    return server.Accepted(socket, kPeer, owner, now);
  };
}
Event Accept(Socket socket) {
  return AcceptFrom(socket, Own(100 + socket));
}
Event Read(Socket socket, std::string bytes) {
  return [=](ConsoleServer& server, ServerClock::time_point now) {
    return server.Received(socket, bytes, now);
  };
}
Event End(Socket socket) {
  return
      [=](ConsoleServer& server, ServerClock::time_point now) { return server.Ended(socket, now); };
}
// The socket takes count bytes of what waits for it.
Event Take(Socket socket, std::size_t count) {
  return [=](ConsoleServer& server, ServerClock::time_point now) {
    return server.Sent(socket, count, now);
  };
}
// The socket takes all that waits.
Event TakeAll(Socket socket) {
  return [=](ConsoleServer& server, ServerClock::time_point now) {
    return server.Sent(socket, server.Unsent(socket).size(), now);
  };
}
Event Tick() {
  return [](ConsoleServer& server, ServerClock::time_point now) { return server.TimePassed(now); };
}
Event Post(PostedEvent posted) {
  return [=](ConsoleServer& server, ServerClock::time_point) { return server.Posted(posted); };
}
// Checks when the owner is next due (from the story's start), and decides nothing.
Event ExpectDue(std::optional<milliseconds> due) {
  return [=](ConsoleServer& server, ServerClock::time_point) {
    const std::optional<ServerClock::time_point> next = server.NextDue();
    EXPECT_EQ(next.has_value(), due.has_value());
    if (next && due) {
      EXPECT_EQ(std::chrono::duration_cast<milliseconds>(*next - ServerClock::time_point{}).count(),
                due->count());
    }
    return Decisions{};
  };
}
Event FailAccept(AcceptEnd end) {
  return [=](ConsoleServer& server, ServerClock::time_point now) {
    return server.AcceptFailed({end, "Too many open files"}, now);
  };
}

PrintedLine Opened(Socket socket, std::size_t open) {
  return {'*', Name(socket) + " (" + std::to_string(open) + " open)"};
}
PrintedLine Closed(Socket socket, std::size_t open) {
  return {'*', Name(socket) + " closed (" + std::to_string(open) + " open)"};
}
// What follows the name of the first connection that the system names no process for.
std::string NoProcessNews() {
  return ": the system names no process for it (its table of connections gives process 0), so "
         "no connection's user can be checked: every local program is served, and the program "
         "slots are shared between connections";
}
PrintedLine Got(std::string line) {
  return {'>', std::move(line)};
}
PrintedLine Gave(std::string line) {
  return {'<', ConsoleMessage(line)};
}

std::vector<Step> Joined(std::vector<std::vector<Step>> parts) {
  std::vector<Step> steps;
  for (auto& part : parts) steps.insert(steps.end(), part.begin(), part.end());
  return steps;
}

std::vector<ScriptRule> TestRules() {
  ScriptRule kick;
  kick.command = "kick";
  kick.reply = "Kicked {args}.";
  ScriptRule roll;
  roll.command = "roll";
  roll.program = "roll.py";
  roll.folder = "/rules";
  ScriptRule echo;
  echo.command = "echo";
  echo.reply = "{args}";
  return {kick, roll, echo};
}

void Play(const Story& story) {
  SCOPED_TRACE(story.name);
  ServerSettings settings;
  settings.rules = TestRules();
  settings.ownUser = kOwnUser;
  settings.mostConnections = story.mostConnections;
  ConsoleServer server(std::move(settings));
  const ServerClock::time_point start{};
  for (std::size_t i = 0; i < story.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1));
    const Step& step = story.steps[i];
    const Decisions decisions = step.event(server, start + step.at);
    EXPECT_EQ(decisions.printed, step.printed);
    EXPECT_EQ(decisions.closed, step.closed);
    EXPECT_EQ(decisions.runs.size(), step.runs);
    std::vector<std::uint64_t> toFind;
    for (const ProcessToFind& find : decisions.processesToFind) toFind.push_back(find.socket.inode);
    EXPECT_EQ(toFind, step.toFind);
    if (step.unsent) {
      EXPECT_EQ(server.Unsent(step.unsent->first), step.unsent->second);
    }
  }
}

milliseconds Ms(std::chrono::steady_clock::duration duration) {
  return std::chrono::duration_cast<milliseconds>(duration);
}

const milliseconds kGap = Ms(kGapBetweenMessages);
const milliseconds kHold = Ms(kLongestHold);
const milliseconds kSendWait = Ms(kLongestSendWait);
const milliseconds kFold = Ms(kFoldWindow);

// Connection 1's reply queue filled, one more message dropped with a line, and one in silence.
std::vector<Step> QueueFlood() {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < kMostQueued; ++i) steps.push_back({Post(TypedLine{"m"})});
  steps.push_back({Post(TypedLine{"m"}),
                   {},
                   {{'!', "connection 1: " + std::to_string(kMostQueued) +
                              " messages wait to be sent already; dropping new ones until they "
                              "are sent"}}});
  steps.push_back({Post(TypedLine{"m"})});
  return steps;
}

// Connection 1 takes each message of its full queue as it goes out, one each kGap from the start.
std::vector<Step> QueueDrained() {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < kMostQueued; ++i) {
    steps.push_back({Tick(), kGap * static_cast<int>(i)});
    steps.push_back({TakeAll(1), kGap * static_cast<int>(i), {Gave("m")}});
  }
  return steps;
}

TEST(ConsoleServer, ServesEveryConnectionAloneAndNeverWaitsForOne) {
  const std::string kicked = ConsoleMessage("Kicked bob.");
  const Story stories[] = {
      {"a client that never reads leaves the game answered, and is closed once it has waited",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Accept(2), {}, {Opened(2, 2)}},
        {Read(1, "kick eve"), {}, {Got("kick eve")}},
        {Tick(), {}, {}, {}, 0, {{1, ConsoleMessage("Kicked eve.")}}},
        // Its socket takes nothing: the game is answered all the same.
        {Take(1, 0), {}},
        {Read(2, "kick bob"), kGap, {Got("kick bob")}},
        {Tick(), kGap, {}, {}, 0, {{2, kicked}}},
        {TakeAll(2), kGap, {Gave("Kicked bob.")}},
        {Tick(), kSendWait - milliseconds(1)},
        {Tick(),
         kSendWait,
         {{'!', "closed " + Name(1) + ": what was sent to it waited " +
                    std::to_string(kLongestSendWait.count()) +
                    " s for it to read, so it does not read"},
          {'!', "connection 1 closed with 1 messages not sent"}},
         {1}}}},
      {"a send taken in pieces goes on where it stopped, and prints once whole",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, "kick bob"), {}, {Got("kick bob")}},
        {Tick(), {}, {}, {}, 0, {{1, kicked}}},
        {Take(1, 3), {}, {}, {}, 0, {{1, kicked.substr(3)}}},
        {Take(1, kicked.size() - 3), {}, {Gave("Kicked bob.")}, {}, 0, {{1, ""}}}}},
      {"messages to one connection go kGapBetweenMessages apart",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Post(TypedLine{"one"})},
        {Post(TypedLine{"two"})},
        {Tick(), {}, {}, {}, 0, {{1, ConsoleMessage("one")}}},
        {TakeAll(1), {}, {Gave("one")}},
        {Tick(), kGap - milliseconds(1), {}, {}, 0, {{1, ""}}},
        {Tick(), kGap, {}, {}, 0, {{1, ConsoleMessage("two")}}}}},
      {"a full queue drops with one line, and after it drained tells the next flood again",
       Joined({{{Accept(1), {}, {Opened(1, 1)}}}, QueueFlood(), QueueDrained(), QueueFlood()})},
      {"the closing line counts what stays open, never the one that closed",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Accept(2), {}, {Opened(2, 2)}},
        {End(1), {}, {Closed(1, 1)}, {1}},
        {End(2), {}, {Closed(2, 0)}, {2}},
        {End(2)},
        {Post(TypedLine{"gone"}),
         {},
         {{'!', "nothing is connected; not sent: " + ConsoleMessage("gone")}}}}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, KeepsWebRequestsOutAtEveryLength) {
  static_assert(kLongestGameLine == 4099, "the printed length below is written out");
  const std::string requestStart = "GET /";
  const auto longStart = [&](std::size_t size) {
    return requestStart + std::string(size - requestStart.size(), 'a');
  };
  const PrintedLine webClosed{'!', "closed " + Name(1) +
                                       ": it began with an HTTP request or a TLS handshake, as a "
                                       "web page or tool sends, not a game"};
  const PrintedLine tooLong{'!', "closed " + Name(1) + ": its first " + Counted(kLongestGameLine) +
                                     " bytes may still begin a web request, and no game sends a "
                                     "longer line"};
  const Story stories[] = {
      {"a request in pieces is closed, and nothing of it answered",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, "GET / HT")},
        {Read(1, "TP/1.1\r\n\r\n"), milliseconds(200), {webClosed}, {1}},
        {Tick(), kHold}}},
      {"a TLS opening",
       {{Accept(1), {}, {Opened(1, 1)}}, {Read(1, "\x16\x03\x01"), {}, {webClosed}, {1}}}},
      {"the longest line a game sends may look like a request's start, and waits",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, longStart(kLongestGameLine))},
        {Tick(),
         kHold,
         {Got(requestStart + std::string(kLongestExcerpt - requestStart.size(), 'a') +
              "... (4,099 bytes)")}}}},
      {"one byte more is no game's, and is never answered",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, longStart(kLongestGameLine)), {}},
        {Read(1, "a"), {}, {tooLong}, {1}},
        {Tick(), kHold}}},
      {"reads that merely look like a request's start stay lines of their own, after the hold",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, "SAY hello")},
        {Read(1, "BAN"), milliseconds(200)},
        {Tick(), kHold - milliseconds(1)},
        {Tick(), kHold, {Got("SAY hello"), Got("BAN")}},
        {Read(1, "GET / HTTP/1.1\r\n"), kHold, {Got("GET / HTTP/1.1\\x0d\\x0a")}}}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, IdleConnectionsCannotKeepTheGameOut) {
  const std::size_t most = kMostConnections;
  const Socket full = most;
  std::vector<Step> fill;
  for (Socket socket = 1; socket <= full; ++socket)
    fill.push_back({Accept(socket), kFold * socket});
  const PrintedLine refused{'!', "refused connection " + std::to_string(full + 1) + " from " +
                                     kPeer + ": " + Counted(most) +
                                     " connections are open, and none is closed to make room"};
  // Each at a second of its own, so that none is folded.
  for (Socket socket = 1; socket <= full; ++socket)
    fill[socket - 1].printed = {Opened(socket, socket)};
  const Story stories[] = {
      {"the table holds kMostConnections, refuses one more, and an end makes room",
       Joined({fill,
               {{Accept(full + 1), kFold * (full + 1), {refused}, {full + 1}},
                {End(2), kFold * (full + 2), {Closed(2, most - 1)}, {2}},
                {Accept(full + 2),
                 kFold * (full + 3),
                 {{'*', Name(full + 2) + " (" + std::to_string(most) + " open)"}}}}})},
      {"an accept that fails for lack of descriptors rests the listener, and is told",
       {{FailAccept(AcceptEnd::kNoneWaiting)},
        {FailAccept(AcceptEnd::kNoDescriptors),
         {},
         {{'!', "cannot take a connection: Too many open files; trying again in " +
                    std::to_string(kAcceptRest.count()) + " ms"}}}}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, ServesOnlyItsOwnUserAndTheAdministrator) {
  PeerOwner unreadable;
  unreadable.found = PeerFound::kUserUnreadable;
  unreadable.process = 4321;
  unreadable.why = "Access is denied.";
  PeerOwner gone;
  gone.found = PeerFound::kNotListed;
  const Story stories[] = {
      {"its own user, root and the administrators are served",
       {{AcceptFrom(1, Own(7)), {}, {Opened(1, 1)}},
        {AcceptFrom(2, OfUser("0", true)), {}, {Opened(2, 2)}},
        {AcceptFrom(3, OfUser("S-1-5-18", true)), {}, {Opened(3, 3)}},
        {Read(2, "kick bob"), {}, {Got("kick bob")}}}},
      {"another user is closed at once and unanswered, told why at length once a user",
       {{AcceptFrom(1, OfUser("54321")),
         {},
         {{'!', "refused connection 1 from " + kPeer +
                    " of user 54321: console-server serves only the programs of its own user "
                    "(1000) and of the administrator, since its rules run programs with its "
                    "user's rights"}},
         {1}},
        {Read(1, "roll")},
        {AcceptFrom(2, OfUser("54321")),
         {},
         {{'!', "refused connection 2 from " + kPeer + ": user 54321 is not console-server's"}},
         {2}},
        {AcceptFrom(3, OfUser("10000")),
         {},
         {{'!', "refused connection 3 from " + kPeer +
                    " of user 10000: console-server serves only the programs of its own user "
                    "(1000) and of the administrator, since its rules run programs with its "
                    "user's rights"}},
         {3}},
        {AcceptFrom(4, OfUser("100")),
         {},
         {{'!', "refused connection 4 from " + kPeer +
                    " of user 100: console-server serves only the programs of its own user "
                    "(1000) and of the administrator, since its rules run programs with its "
                    "user's rights"}},
         {4}}}},
      {"a process whose user cannot be read (another user's, or elevated) is refused",
       {{AcceptFrom(1, unreadable),
         {},
         {{'!', "refused connection 1 from " + kPeer +
                    ": the user of its process 4321 cannot be read (Access is denied.); "
                    "console-server and the game must run as the same user, at the same "
                    "elevation"}},
         {1}}}},
      {"a peer that has gone before it was looked up",
       {{AcceptFrom(1, gone),
         {},
         {{'!', "refused connection 1 from " + kPeer +
                    ": the system lists no socket at its address (it has gone), so its user "
                    "cannot be checked"}},
         {1}}}},
      {"a system that names no process is said once, and every connection served",
       {{AcceptFrom(1, NoProcess()), {}, {Opened(1, 1), {'!', Name(1) + NoProcessNews()}}},
        {AcceptFrom(2, NoProcess()), {}, {Opened(2, 2)}},
        {Read(2, "kick bob"), {}, {Got("kick bob")}},
        {Tick(), {}, {}, {}, 0, {{2, ConsoleMessage("Kicked bob.")}}}}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, AcceptRestsOnlyAfterALackOfDescriptors) {
  ConsoleServer server{ServerSettings{}};
  const ServerClock::time_point now{};
  server.AcceptFailed({AcceptEnd::kNoneWaiting, ""}, now);
  EXPECT_TRUE(server.Accepting(now));
  server.AcceptFailed({AcceptEnd::kNoDescriptors, ""}, now);
  EXPECT_FALSE(server.Accepting(now + kAcceptRest - milliseconds(1)));
  EXPECT_TRUE(server.Accepting(now + kAcceptRest));
}

TEST(ConsoleServer, SharesProgramSlotsAndPrintsBoundedSafeLines) {
  const std::string busy = "The server is busy: try /roll again in a moment.";
  const PrintedLine running{'*', "/roll: running roll.py"};
  std::vector<Step> threeRuns;
  for (int i = 0; i < 3; ++i)
    threeRuns.push_back({Read(1, "roll"), {}, {Got("roll"), running}, {}, 1});
  RunOutcome ended;
  ended.ended = ProgramEnd{};
  const std::string cutLine = "say " + std::string(kLongestExcerpt, 'x');
  const Story stories[] = {
      {"a client with runs under way cannot take the last slot while the game has none",
       Joined(
           {{{Accept(1), {}, {Opened(1, 1)}}, {Accept(2), {}, {Opened(2, 2)}}},
            threeRuns,
            {{Read(1, "roll"),
              {},
              {Got("roll"),
               {'!',
                "/roll: not run, the last program slot is kept for process 102, connected "
                "longest of those with none running"}}},
             {Read(1, "roll"), {}, {Got("roll")}},
             {Read(2, "roll"),
              {},
              {Got("roll"), {'!', "1 more commands not run while the programs were busy"}, running},
              {},
              1},
             {Read(2, "roll"), {}, {Got("roll"), {'!', "/roll: not run, 4 programs run already"}}},
             {Post(ProgramEnded{1, ended}), {}, {{'*', "/roll: exit status 0"}}},
             {Tick(), {}, {}, {}, 0, {{1, ConsoleMessage(busy)}}}}})},
      {"what a client sends is printed safely, and a long line only in part",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1,
              "say \xE2\x80\xAE"
              "evil \xC2\x9B\xFF end"),
         {},
         {Got("say \\xe2\\x80\\xaeevil \\xc2\\x9b\\xff end")}},
        {Read(1, cutLine + "y"),
         {},
         {Got(cutLine.substr(0, kLongestExcerpt) + "... (205 bytes)")}}}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, SharesProgramSlotsBetweenProcesses) {
  const PrintedLine running{'*', "/roll: running roll.py"};
  const auto asks = [&](Socket socket) {
    return Step{Read(socket, "roll"), {}, {Got("roll"), running}, {}, 1};
  };
  const auto keptFor = [](Socket socket, const std::string& keeper) {
    return Step{Read(socket, "roll"),
                {},
                {Got("roll"),
                 {'!', "/roll: not run, the last program slot is kept for " + keeper +
                           ", connected longest of those with none running"}}};
  };
  RunOutcome ended;
  ended.ended = ProgramEnd{};
  const Story stories[] = {
      {"a process counts once however many connections it holds: the game gets the last slot",
       {{AcceptFrom(1, Own(200)), {}, {Opened(1, 1)}},
        {AcceptFrom(2, Own(200)), {}, {Opened(2, 2)}},
        {AcceptFrom(3, Own(200)), {}, {Opened(3, 3)}},
        {AcceptFrom(4, Own(200)), {}, {Opened(4, 4)}},
        {Accept(5), {}, {Opened(5, 5)}},
        asks(1),
        asks(2),
        asks(3),
        keptFor(4, "process 105"),
        asks(5)}},
      {"so it does once its process is found, and until then each connection counts alone",
       {{AcceptFrom(1, OwnSocket(71)), {}, {Opened(1, 1)}, {}, 0, {}, {71}},
        {AcceptFrom(2, OwnSocket(72)), {}, {Opened(2, 2)}, {}, 0, {}, {72}},
        {AcceptFrom(3, OwnSocket(73)), {}, {Opened(3, 3)}, {}, 0, {}, {73}},
        {AcceptFrom(4, OwnSocket(74)), {}, {Opened(4, 4)}, {}, 0, {}, {74}},
        {AcceptFrom(5, OwnSocket(75)), {}, {Opened(5, 5)}, {}, 0, {}, {75}},
        asks(1),
        asks(2),
        asks(3),
        {Post(ProcessFound{1, 200})},
        {Post(ProcessFound{2, 200})},
        {Post(ProcessFound{3, 200})},
        {Post(ProcessFound{4, 200})},
        {Post(ProcessFound{5, std::nullopt})},
        keptFor(4, "connection 5"),
        asks(5)}},
      {"where the system names no process, the connection open longest with none running keeps "
       "it",
       {{AcceptFrom(1, NoProcess()), {}, {Opened(1, 1), {'!', Name(1) + NoProcessNews()}}},
        {AcceptFrom(2, NoProcess()), {}, {Opened(2, 2)}},
        {AcceptFrom(3, NoProcess()), {}, {Opened(3, 3)}},
        {AcceptFrom(4, NoProcess()), {}, {Opened(4, 4)}},
        {AcceptFrom(5, NoProcess()), {}, {Opened(5, 5)}},
        asks(2),
        asks(3),
        asks(4),
        keptFor(5, "connection 1"),
        asks(1)}},
      {"a run's slot comes back to its process when the run ends",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Accept(2), {}, {Opened(2, 2)}},
        asks(2),
        {Post(ProgramEnded{1, ended}), {}, {{'*', "/roll: exit status 0"}}},
        asks(1),
        asks(1),
        asks(1),
        keptFor(1, "process 102"),
        asks(2)}},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, FoldsFloodsIntoOneLineASecond) {
  std::vector<Step> flood;
  for (Socket socket = 1; socket <= kLinesBeforeFolding + 3; ++socket) {
    flood.push_back({Accept(socket), {}, {}});
    if (socket <= kLinesBeforeFolding) flood.back().printed = {Opened(socket, socket)};
  }
  std::vector<Step> lines;
  for (std::size_t i = 0; i < kLinesBeforeFolding + 2; ++i) {
    lines.push_back({Read(1, "hello"), {}, {}});
    if (i < kLinesBeforeFolding) lines.back().printed = {Got("hello")};
  }
  const Socket storm = kLinesBeforeFolding + 1;
  const std::string longLine = "echo " + std::string(kLongestMessage, 'x');
  static_assert(kLongestMessage == 1024 && kLongestExcerpt == 200, "the excerpt is written out");
  const PrintedLine longGot{'>', "echo " + std::string(195, 'x') + "... (1,029 bytes)"};
  const PrintedLine refused{'!', "longer than " + std::to_string(kLongestMessage) +
                                     " bytes, which the plugin would split; not sent"};
  std::vector<Step> tooLong;
  for (std::size_t i = 0; i < kLinesBeforeFolding + 2; ++i) {
    const Socket from = i % 2 == 0 ? 1 : 2;
    tooLong.push_back({Read(from, longLine), {}, {longGot}});
    if (i < kLinesBeforeFolding) tooLong.back().printed.push_back(refused);
  }
  // Seven clients, each under its own fold but together past the fold of all connections: six
  // send 10 lines, the seventh 12.
  static_assert(kTrafficLinesBeforeFolding == 50 && kLinesBeforeFolding == 10,
                "the counts below are written out");
  std::vector<Step> crowd;
  std::size_t printedTraffic = 0;
  for (Socket socket = 1; socket <= 7; ++socket) {
    crowd.push_back({Accept(socket), {}, {Opened(socket, socket)}});
    for (int i = 0; i < (socket == 7 ? 12 : 10); ++i) {
      crowd.push_back({Read(socket, "hi"), {}, {}});
      if (socket < 7 && printedTraffic++ < 50) crowd.back().printed = {Got("hi")};
    }
  }
  const Story stories[] = {
      {"connections past the first few of a second are counted",
       Joined({flood,
               {{Tick(), kFold - milliseconds(1)},
                {Tick(),
                 kFold,
                 {{'*',
                   "3 more lines of connections opened, closed or refused in a second, "
                   "not printed (" +
                       std::to_string(kLinesBeforeFolding + 3) + " open)"}}},
                {End(1), kFold, {Closed(1, kLinesBeforeFolding + 2)}, {1}}}})},
      {"a connection opened in a flood folds its lines and its messages not sent with it, for a "
       "second",
       Joined({std::vector<Step>(flood.begin(), flood.begin() + kLinesBeforeFolding),
               {{Accept(storm), {}},
                {Read(storm, "kick x"), {}},
                {Tick(), {}, {}, {}, 0, {{storm, ConsoleMessage("Kicked x.")}}},
                {End(storm), {}, {}, {storm}},
                {Accept(storm + 1), {}},
                {Tick(),
                 kFold,
                 {{'*',
                   "5 more lines of connections opened, closed or refused in a second, "
                   "not printed (" +
                       std::to_string(kLinesBeforeFolding + 1) + " open)"}}},
                {Read(storm + 1, "kick y"), kFold, {Got("kick y")}}}})},
      {"replies too long for one message, from any connection",
       Joined({{{Accept(1), {}, {Opened(1, 1)}}, {Accept(2), {}, {Opened(2, 2)}}},
               tooLong,
               {{Tick(),
                 kFold,
                 {{'!', "2 more replies longer than " + std::to_string(kLongestMessage) +
                            " bytes in a second, not sent nor printed"}}}}})},
      {"the lines of many connections are folded together too, with each one's own count",
       Joined({crowd,
               {{Tick(),
                 kFold,
                 {{'*',
                   "22 more lines received or sent by the connections in a second, not "
                   "printed"}}}}})},
      {"so are one connection's lines, and told when it closes",
       Joined({{{Accept(1), {}, {Opened(1, 1)}}},
               lines,
               {{End(1),
                 {},
                 {Closed(1, 0), {'*', "connection 1: 2 more lines received or sent, not printed"}},
                 {1}}}})},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, TellsHowEachRunEnded) {
  RunOutcome failed;
  failed.ended = Reason{"cannot run roll.py: No such file"};
  RunOutcome timedOut;
  timedOut.ended = ProgramEnd{RunEnd::kTimedOut, 0};
  RunOutcome silentFailure;
  silentFailure.ended = ProgramEnd{RunEnd::kExited, 3};
  RunOutcome toldFailure = silentFailure;
  toldFailure.printedAny = true;
  RunOutcome flood;
  flood.ended = ProgramEnd{};
  flood.printedAny = true;
  flood.droppedLines = 5;
  const std::vector<Step> start = {
      {Accept(1), {}, {Opened(1, 1)}},
      {Read(1, "roll"), {}, {Got("roll"), {'*', "/roll: running roll.py"}}, {}, 1}};
  const auto reply = [](std::string text) {
    return std::make_pair(Socket{1}, ConsoleMessage(text));
  };
  const Story stories[] = {
      {"could not run", Joined({start,
                                {{Post(ProgramEnded{1, failed}),
                                  {},
                                  {{'!', "/roll: cannot run roll.py: No such file"}}},
                                 {Tick(), {}, {}, {}, 0, reply("/roll could not be run.")}}})},
      {"timed out",
       Joined({start,
               {{Post(ProgramEnded{1, timedOut}), {}, {{'!', "/roll: ended after 10 s"}}},
                {Tick(), {}, {}, {}, 0, reply("/roll timed out after 10 s.")}}})},
      {"failed in silence",
       Joined({start,
               {{Post(ProgramEnded{1, silentFailure}), {}, {{'*', "/roll: exit status 3"}}},
                {Tick(), {}, {}, {}, 0, reply("/roll failed (exit status 3).")}}})},
      {"a failure that the program told is not told again",
       Joined({start,
               {{Post(ProgramLine{1, "no such die: d7"})},
                {Post(ProgramEnded{1, toldFailure}), {}, {{'*', "/roll: exit status 3"}}},
                {Tick(), {}, {}, {}, 0, reply("no such die: d7")},
                {TakeAll(1), {}, {Gave("no such die: d7")}},
                {Tick(), kGap, {}, {}, 0, {{1, ""}}}}})},
      {"its lines go to its connection; those past the bound are counted",
       Joined({start,
               {{Post(ProgramLine{1, "4"})},
                {Post(ProgramEnded{1, flood}),
                 {},
                 {{'!', "/roll: 5 more output lines not sent (" + std::to_string(kMostLinesPerRun) +
                            " at most per run)"},
                  {'*', "/roll: exit status 0"}}},
                {Tick(), {}, {}, {}, 0, reply("4")}}})},
      {"a program's late line for a closed connection is dropped with a line",
       Joined({start,
               {{End(1), {}, {Closed(1, 0)}, {1}},
                {Post(ProgramLine{1, "4"}),
                 {},
                 {{'!', "connection 1 has closed; not sent: " + ConsoleMessage("4")}}}}})},
  };
  for (const Story& story : stories) Play(story);
}

TEST(ConsoleServer, TakesWhatTheRuleFileSaysAndAnswersWithTheHelpToWrite) {
  ScriptRule boot;
  boot.command = "kick";
  boot.reply = "Booted {args}.";
  struct Case {
    std::string name;
    std::filesystem::path helpFolder;
    bool newRules;
    std::string kickReply;  // after the news
    bool help;
  };
  const Case cases[] = {
      {"a new reading replaces the rules, and the help follows", "/help", true, "Booted bob.",
       true},
      {"trouble alone leaves the rules and the help", "/help", false, "Kicked bob.", false},
      {"without a help folder, no help is written", "", true, "Booted bob.", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ServerSettings settings;
    settings.rules = TestRules();
    settings.ruleFile = "/rules/test.rules";
    settings.helpFolder = c.helpFolder;
    settings.ownUser = kOwnUser;
    ConsoleServer server(std::move(settings));
    const Decisions listening = server.Listening();
    ASSERT_EQ(listening.help.has_value(), !c.helpFolder.empty());
    if (listening.help) {
      EXPECT_EQ(listening.help->rules.size(), TestRules().size());
    }
    RuleFileNews news;
    news.trouble = {"test.rules:3: never applies"};
    news.news = {"rules read again: 1 rule, 2 lines changed"};
    if (c.newRules) news.rules = std::vector<ScriptRule>{boot};
    const Decisions decisions = server.RulesRead(news);
    EXPECT_EQ(decisions.printed,
              (std::vector<PrintedLine>{{'!', "test.rules:3: never applies"},
                                        {'*', "rules read again: 1 rule, 2 lines changed"}}));
    ASSERT_EQ(decisions.help.has_value(), c.help);
    if (decisions.help) {
      EXPECT_EQ(decisions.help->folder, c.helpFolder);
      EXPECT_EQ(decisions.help->ruleFile, "/rules/test.rules");
      ASSERT_EQ(decisions.help->rules.size(), 1u);
      EXPECT_EQ(decisions.help->rules[0].reply, "Booted {args}.");
    }
    const ServerClock::time_point now{};
    server.Accepted(1, kPeer, Own(101), now);
    server.Received(1, "kick bob", now);
    server.TimePassed(now);
    EXPECT_EQ(server.Unsent(1), ConsoleMessage(c.kickReply));
  }
}

TEST(ConsoleServer, ConnectionsFitTheDescriptorLimit) {
  const struct {
    std::size_t descriptors;
    std::size_t connections;
  } rows[] = {
      {DescriptorsFor(kMostConnections), kMostConnections},
      // kDescriptorsKept from twice it, half the limit below, kFewestDescriptorsKept at least.
      {129, 65},
      {128, 64},
      {127, 64},
      // A service's LimitNOFILE=64 still serves the game beside idle clients.
      {64, 32},
      {63, 31},
      {33, 1},
      {32, 1},
      {0, 1},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ConnectionsWithin(row.descriptors), row.connections) << row.descriptors;
  }
}

TEST(ConsoleServer, IsDueOnlyWhenSomethingWaitsForTime) {
  const milliseconds rest = Ms(kAcceptRest);
  std::vector<Step> flood;
  for (Socket socket = 1; socket <= kLinesBeforeFolding + 1; ++socket) {
    flood.push_back({Accept(socket), {}, {}});
    if (socket <= kLinesBeforeFolding) flood.back().printed = {Opened(socket, socket)};
  }
  const Story stories[] = {
      {"nothing connected, nothing is due", {{ExpectDue(std::nullopt)}}},
      {"a reply's send is due to end its wait, and the next reply at its pace",
       {{Accept(1), {}, {Opened(1, 1)}},
        {ExpectDue(std::nullopt)},
        {Post(TypedLine{"one"})},
        {Post(TypedLine{"two"})},
        {Tick(), {}, {}, {}, 0, {{1, ConsoleMessage("one")}}},
        {ExpectDue(kSendWait)},
        {TakeAll(1), {}, {Gave("one")}},
        {ExpectDue(kGap)},
        {Tick(), kGap, {}, {}, 0, {{1, ConsoleMessage("two")}}},
        {ExpectDue(kGap + kSendWait)},
        {TakeAll(1), kGap, {Gave("two")}},
        {ExpectDue(std::nullopt)}}},
      {"held reads are due at the end of their hold",
       {{Accept(1), {}, {Opened(1, 1)}},
        {Read(1, "GET"), milliseconds(5)},
        {ExpectDue(milliseconds(5) + kHold)},
        {Tick(), milliseconds(5) + kHold, {Got("GET")}},
        {ExpectDue(std::nullopt)}}},
      {"the listener's rest is due to end",
       {{FailAccept(AcceptEnd::kNoDescriptors),
         {},
         {{'!', "cannot take a connection: Too many open files; trying again in " +
                    std::to_string(kAcceptRest.count()) + " ms"}}},
        {ExpectDue(rest)},
        {Tick(), rest},
        {ExpectDue(std::nullopt)}}},
      {"a folded count is due when its second ends",
       Joined({flood,
               {{ExpectDue(kFold)},
                {Tick(),
                 kFold,
                 {{'*',
                   "1 more lines of connections opened, closed or refused in a second, "
                   "not printed (" +
                       std::to_string(kLinesBeforeFolding + 1) + " open)"}}},
                {ExpectDue(std::nullopt)}}})},
  };
  for (const Story& story : stories) Play(story);
}

}  // namespace
