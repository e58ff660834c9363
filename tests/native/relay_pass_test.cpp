#include "relay/relay_pass.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_host.h"
#include "plugin_numbers.h"
#include "relay/pending_lines.h"
#include "relay/server_link.h"

namespace {

using Lines = std::vector<std::string>;

class RelayPass : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeHost(game);
    EnterFreshHelpFolder();
    WriteHelpFile("kick", R"({"help": ["Kicks a player."], "helpful 2": ["Second page."]})");
  }

  bool Pass() { return RunRelayPass(buffer, armed) == NextPass::kAfterPause; }

  // The player types "/" + line and sends it; returns what the take pass returned.
  bool TypeAndSend(const std::string& line) {
    game.TypeLine(line);
    game.state() = 2;
    game.firstChar() = '/';
    Pass();
    game.state() = 5;
    game.firstChar() = 0;
    const bool pause = Pass();
    game.state() = 0;
    return pause;
  }

  FakeGame game;
  ReceiveBuffer buffer{};
  bool armed = false;
};

struct Outcome {
  std::string line;
  Lines logged;
  Lines sent;
  Lines chat;
  bool pause;
};

TEST_F(RelayPass, HandlesEachKindOfCommandLine) {
  const Outcome outcomes[] = {
      {"", {}, {}, {}, true},
      {"kick", {"[Console] Show help [kick] [help]"}, {}, {"Kicks a player."}, true},
      {"kick ", {"TEST"}, {}, {}, false},
      {"kick help",
       {"TEST", "[Console] finding help for kick", "[Console] Show help [kick] [help]"},
       {},
       {"Kicks a player."},
       true},
      {"kick helpful 2",
       {"TEST", "[Console] finding help for kick", "[Console] Show help [kick] [helpful 2]"},
       {},
       {"Second page."},
       true},
      {"kick Help", {"TEST", "[Console] [Kick] kick Help"}, {"kick Help"}, {}, true},
      {"kick bob 2", {"TEST", "[Console] [Kick] kick bob 2"}, {"kick bob 2"}, {}, true},
      {" kick", {"TEST", "[Console] []  kick"}, {" kick"}, {}, true},
      {"kick  help", {"TEST", "[Console] [Kick] kick  help"}, {"kick  help"}, {}, true},
      {"9lives x", {"TEST", "[Console] [9lives] 9lives x"}, {"9lives x"}, {}, true},
      {"\xe9t\xe9 x", {"TEST", "[Console] [\xe9t\xe9] \xe9t\xe9 x"}, {"\xe9t\xe9 x"}, {}, true},
  };
  for (const Outcome& o : outcomes) {
    SCOPED_TRACE("line '" + o.line + "'");
    ResetFakeHost(game);
    EXPECT_EQ(TypeAndSend(o.line), o.pause);
    EXPECT_EQ(LoggedTexts(), o.logged);
    EXPECT_EQ(SentBytes, o.sent);
    EXPECT_EQ(ChatLines, o.chat);
    for (const LoggedLine& line : LoggedLines) EXPECT_EQ(line.level, loader::INFO);
  }
}

TEST_F(RelayPass, BlanksTheFirstTextByteOnEveryPassWhileASlashLineIsTyped) {
  game.TypeLine("kick bob");
  game.state() = 2;
  game.firstChar() = '/';
  for (int pass = 0; pass < 3; ++pass) {
    game.text()[0] = '/';  // the game writes it again
    Pass();
    EXPECT_EQ(game.text()[0], 0);
  }
  EXPECT_TRUE(armed);
  EXPECT_TRUE(SentBytes.empty());

  game.firstChar() = 'k';  // not a command: left alone
  game.text()[0] = 'k';
  Pass();
  EXPECT_EQ(game.text()[0], 'k');
}

TEST_F(RelayPass, TakesNothingWithoutAnArm) {
  game.TypeLine("kick bob");
  game.state() = 5;
  game.firstChar() = 0;
  Pass();
  EXPECT_FALSE(armed);
  EXPECT_TRUE(LoggedLines.empty());
  EXPECT_TRUE(SentBytes.empty());
}

TEST_F(RelayPass, EachTakeNeedsANewArmAlsoAfterAnEmptyLine) {
  TypeAndSend("");
  EXPECT_FALSE(armed);
  game.state() = 5;
  game.TypeLine("kick bob");
  Pass();
  EXPECT_TRUE(SentBytes.empty());

  TypeAndSend("kick bob");
  game.state() = 5;
  Pass();
  EXPECT_EQ(SentBytes, Lines{"kick bob"});
}

TEST_F(RelayPass, AnArmLapsesOnlyWhenTheChatShowsAnOrdinaryLineTypedOrSent) {
  struct Between {
    const char* what;
    std::int32_t state;
    unsigned char firstChar;
    std::string textAtEnter;  // what the chat text buffer holds when the line is sent
    Lines sent;
  };
  const Between rows[] = {
      {"cancelled, then a new ordinary line", 2, 's', "skill issue bob", {}},
      {"the slash deleted", 2, 'k', "kick bob", {}},
      {"cancelled, then a bind's line sent at once", 0, 0, "good game all", {}},
      {"the '/' written back just before Enter", 2, '/', "/kick bob", {"kick bob"}},
      {"Enter on the blanked line", 2, '/', std::string("\0kick bob", 9), {"kick bob"}},
      {"the chat closed, then Enter on the blanked line",
       0,
       0,
       std::string("\0kick late", 10),
       {"kick late"}},
      {"the chat closed", 0, 0, "/kick late", {"kick late"}},
      {"state 3", 3, 'x', "/kick late", {"kick late"}},
      {"a state not known", 7, 'x', "/kick late", {"kick late"}},
      {"a negative state", -1, 'x', "/kick late", {"kick late"}},
      {"typing, first character 0", 2, 0, "/kick late", {"kick late"}},
  };
  for (const Between& row : rows) {
    SCOPED_TRACE(row.what);
    ResetFakeHost(game);
    armed = false;
    game.TypeLine("kick bob");
    game.state() = 2;
    game.firstChar() = '/';
    Pass();
    game.state() = row.state;
    game.firstChar() = row.firstChar;
    for (int pass = 0; pass < 20; ++pass) Pass();
    std::memcpy(game.text(), row.textAtEnter.c_str(), row.textAtEnter.size() + 1);
    game.firstChar() = 0;
    game.state() = 5;
    Pass();
    EXPECT_EQ(SentBytes, row.sent);
    EXPECT_EQ(LoggedLines.empty(), row.sent.empty());
    EXPECT_FALSE(armed);
  }
}

TEST_F(RelayPass, ShowsAndLogsConsoleMessagesBeforeHandlingALine) {
  game.TypeLine("kick bob");
  game.state() = 2;
  game.firstChar() = '/';
  Pass();
  PendingReceives.push_back("console hello there");
  game.state() = 5;
  game.firstChar() = 0;
  Pass();
  EXPECT_EQ(ChatLines, Lines{"hello there"});
  EXPECT_EQ(LoggedTexts(), (Lines{"[Console] hello there", "TEST", "[Console] [Kick] kick bob"}));
}

TEST_F(RelayPass, IgnoresWhatIsNoConsoleMessage) {
  for (const char* message : {"status ok", "console", "console ", "console1 ", ""}) {
    PendingReceives.push_back(message);
    Pass();
  }
  EXPECT_TRUE(ChatLines.empty());
  EXPECT_TRUE(LoggedLines.empty());
}

TEST_F(RelayPass, ReadsAFullReceiveWithoutRunningPastTheBuffer) {
  std::string flood(5000, 'y');
  flood.replace(0, 8, "console ");
  PendingReceives.push_back(flood);
  Pass();
  ASSERT_EQ(ChatLines.size(), 1u);
  EXPECT_EQ(ChatLines[0], std::string(kReceiveLength - 8, 'y'));
}

TEST_F(RelayPass, ForwardsEvenWhenTheLogLevelHidesTheLines) {
  loader::MinLogLevel = loader::ERR;
  TypeAndSend("kick bob");
  EXPECT_EQ(SentBytes, Lines{"kick bob"});
  // Every line is still started and ended, with nothing written into it.
  EXPECT_EQ(LoggedTexts(), (Lines{"", ""}));
}

TEST_F(RelayPass, TheRestOfALineGoesFirstOnTheNextPasses) {
  SendRoom = 5;
  TypeAndSend("kick bob 2");
  SendRoom = 0;
  TypeAndSend("kick eve 3");
  Pass();
  EXPECT_EQ(SentBytes, Lines{"kick "});
  SendRoom = 7;  // the rest, and the start of the next line
  Pass();
  SendRoom = SIZE_MAX;
  Pass();
  EXPECT_EQ(SentBytes, (Lines{"kick ", "bob 2", "ki", "ck eve 3"}));
  EXPECT_EQ(LoggedTexts(),
            (Lines{"TEST", "[Console] [Kick] kick bob 2", "TEST", "[Console] [Kick] kick eve 3"}));
}

TEST_F(RelayPass, ALineThatDoesNotFitBesideTheWaitingOnesIsNotSentAndSaysSo) {
  // Lines of 4000 bytes, each held with its end mark, as many as fit; then a last line.
  const std::size_t fitting = kPendingLinesRoom / 4001;
  const std::size_t spare = kPendingLinesRoom - fitting * 4001;
  const struct {
    const char* what;
    std::size_t lastLineBytes;
    bool lastFits;
  } rows[] = {
      {"far too long", 4000, false},
      {"the exact room, end mark included", spare - 1, true},
      {"one byte more", spare, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ResetFakeHost(game);
    Lines lines;
    for (std::size_t i = 0; i <= fitting; ++i) {
      const std::size_t bytes = i < fitting ? 4000 : row.lastLineBytes;
      lines.push_back("kick " + std::to_string(100 + i) + " " + std::string(bytes - 9, 'z'));
    }
    SendRoom = 0;
    for (const std::string& line : lines) TypeAndSend(line);
    const Lines waited(lines.begin(), lines.end() - (row.lastFits ? 0 : 1));
    Lines logged;
    for (const std::string& line : lines)
      logged.insert(logged.end(), {"TEST", "[Console] [Kick] " + line});
    if (!row.lastFits) logged.push_back("[Console] [Server] Not sent: " + lines.back());
    EXPECT_EQ(LoggedTexts(), logged);

    SendRoom = SIZE_MAX;
    Pass();
    EXPECT_EQ(SentBytes, waited);
    TypeAndSend("kick bob");
    EXPECT_EQ(SentBytes.back(), "kick bob");
  }
}

TEST_F(RelayPass, LinesThatCannotGoOnceTheConnectionFailedAreLoggedAsNotSent) {
  ConnectComesTo = SocketState::kClosed;  // no link again within the test
  SendRoom = 3;
  TypeAndSend("kick bob");
  TypeAndSend("kick eve");
  SendStatusNow = SendStatus::kFailed;
  Pass();
  TypeAndSend("kick ann");
  EXPECT_EQ(SentBytes, Lines{"kic"});
  EXPECT_EQ(LoggedTexts(),
            (Lines{"TEST", "[Console] [Kick] kick bob", "TEST", "[Console] [Kick] kick eve",
                   kConnectionLost, "[Console] [Server] Not sent: kick bob",
                   "[Console] [Server] Not sent: kick eve", "TEST", "[Console] [Kick] kick ann",
                   "[Console] [Server] Not sent: kick ann"}));
}

TEST_F(RelayPass, AClosedConnectionShowsItsLastMessageAndNoOldLineGoesToTheNextLink) {
  ConnectComesTo = SocketState::kClosed;
  SendRoom = 0;
  TypeAndSend("ban bob");
  PendingReceives.push_back("console bye");
  ConsoleProgramClosed = true;
  Pass();
  Pass();
  TypeAndSend("ban eve");
  // The console program is back: only what is typed from now on goes to it.
  FakeSocket = SocketState::kConnected;
  ConsoleProgramClosed = false;
  SendRoom = SIZE_MAX;
  Pass();
  TypeAndSend("ban ann");
  EXPECT_EQ(ChatLines, Lines{"bye"});
  EXPECT_EQ(SentBytes, Lines{"ban ann"});
  EXPECT_EQ(LoggedTexts(),
            (Lines{"TEST", "[Console] [Ban] ban bob", "[Console] bye", kConnectionLost,
                   "[Console] [Server] Not sent: ban bob", "TEST", "[Console] [Ban] ban eve",
                   "[Console] [Server] Not sent: ban eve", "TEST", "[Console] [Ban] ban ann"}));
}

// Each step lets `ms` pass since the link was lost, says whether Windows Sockets starts, how a
// socket opens and what a connect started comes to, and runs KeepServerLink once.
struct LinkStep {
  int ms;
  SocketState connectComesTo;
  int connectsStarted;
  SocketState after;
  bool socketsStart = true;
  SocketOpening opening = SocketOpening::kOpened;
};

TEST_F(RelayPass, WithoutALinkAConnectIsTriedEveryIntervalWithoutWaitingAndOnlyALinkIsLogged) {
  // Later than every attempt that earlier tests made on the real clock.
  static LinkClock::time_point lost = LinkClock::now() + std::chrono::hours(1);
  lost += std::chrono::hours(1);
  LoseLinkAndPendingLines();
  const int retry = static_cast<int>(kConnectRetry.count());
  const SocketState closed = SocketState::kClosed;
  const SocketState connecting = SocketState::kConnecting;
  const SocketState connected = SocketState::kConnected;
  const LinkStep steps[] = {
      // Windows Sockets does not start: started again at the next attempt, not sooner.
      {0, closed, 0, closed, false},
      {retry - 1, closed, 0, closed, true},
      // A socket that cannot be made non-blocking is never connected.
      {retry, closed, 0, closed, true, SocketOpening::kBlocking},
      {2 * retry, closed, 1, connecting},
      // Refused, or met itself: logs nothing.
      {2 * retry + 10, closed, 1, closed},
      {3 * retry - 1, closed, 1, closed},
      {3 * retry, connecting, 2, connecting},
      {3 * retry + 10, connecting, 2, connecting},  // still under way
      {4 * retry, connecting, 3, connecting},       // dropped, begun anew
      {4 * retry + 10, connected, 3, connected},
      {7 * retry, connected, 3, connected},  // linked: no more tries
  };
  for (const LinkStep& step : steps) {
    SocketsStart = step.socketsStart;
    OpeningComesTo = step.opening;
    ConnectComesTo = step.connectComesTo;
    KeepServerLink(lost + std::chrono::milliseconds(step.ms));
    EXPECT_EQ(ConnectsStarted, step.connectsStarted) << step.ms << " ms";
    EXPECT_EQ(FakeSocket, step.after) << step.ms << " ms";
    EXPECT_LE(LastConnectWait.count(), 0) << step.ms << " ms";  // never waits
  }
  EXPECT_EQ(LoggedTexts(), (Lines{kConnectionLost, kConnectedAgain}));
}

// The set-up's attempt: each step that fails says so, and nothing but a link is kept.
struct SetUpAttempt {
  bool socketsStart;
  SocketOpening opening;
  SocketState connectComesTo;
  Lines logged;
  SocketState after;
};

TEST_F(RelayPass, TheSetUpsAttemptLogsEachStepWaitsBoundedAndKeepsOnlyALink) {
  const SocketOpening opened = SocketOpening::kOpened;
  const SetUpAttempt attempts[] = {
      {false, opened, SocketState::kConnected, {kWinsockFailed}, SocketState::kClosed},
      {true,
       SocketOpening::kNoSocket,
       SocketState::kConnected,
       {kCreateSocket, kInvalidSocket},
       SocketState::kClosed},
      {true,
       SocketOpening::kBlocking,
       SocketState::kConnected,
       {kCreateSocket, kNonBlockingFailed},
       SocketState::kClosed},
      // Refused, or met itself.
      {true, opened, SocketState::kClosed, {kCreateSocket, kConnectFailed}, SocketState::kClosed},
      // Listening, but the connection is not taken within the wait.
      {true,
       opened,
       SocketState::kConnecting,
       {kCreateSocket, kConnectFailed},
       SocketState::kClosed},
      {true,
       opened,
       SocketState::kConnected,
       {kCreateSocket, kConnectSucceeded},
       SocketState::kConnected},
  };
  for (const SetUpAttempt& attempt : attempts) {
    ResetFakeHost(game);
    FakeSocket = SocketState::kClosed;
    SocketsStart = attempt.socketsStart;
    OpeningComesTo = attempt.opening;
    ConnectComesTo = attempt.connectComesTo;
    ConnectToServer();
    const std::string row = attempt.logged.back();
    EXPECT_EQ(LoggedTexts(), attempt.logged) << row;
    EXPECT_EQ(FakeSocket, attempt.after) << row;
    if (ConnectsStarted > 0) {
      EXPECT_EQ(LastConnectWait, kFirstConnectWait) << row;
    }
  }
}

}  // namespace
