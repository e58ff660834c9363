#include "relay/relay_pass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_host.h"

namespace {

using Lines = std::vector<std::string>;

class RelayPass : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetFakeHost(game);
    EnterFreshHelpFolder();
    WriteHelpFile("kick", R"({"help": ["Kicks a player."], "helpful 2": ["Second page."]})");
  }

  bool Pass() { return RunRelayPass(buffer, armed); }

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

TEST_F(RelayPass, AnArmLastsUntilTheLineIsSentHoweverLongItTakes) {
  game.state() = 2;
  game.firstChar() = '/';
  Pass();
  game.state() = 7;
  game.firstChar() = 'x';
  for (int pass = 0; pass < 20; ++pass) Pass();
  game.TypeLine("kick late");
  game.state() = 5;
  game.firstChar() = 0;
  Pass();
  EXPECT_EQ(SentBytes, Lines{"kick late"});
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

}  // namespace
