#include "relay/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct DecisionCase {
  std::string line;
  CommandAction action;
  std::string command;
  std::string argument;
  bool hasSpace;
};

TEST(DecideCommand, SplitsAtTheFirstSpaceAndChoosesTheAction) {
  const DecisionCase cases[] = {
      {"", CommandAction::kNothing, "", "", false},
      {"kick", CommandAction::kHelp, "kick", "help", false},
      {"kick ", CommandAction::kEmptyArgument, "kick", "", true},
      {"kick help", CommandAction::kHelp, "kick", "help", true},
      {"kick helpful 2", CommandAction::kHelp, "kick", "helpful 2", true},
      {"kick help items", CommandAction::kHelp, "kick", "help items", true},
      {"kick Help", CommandAction::kForward, "kick", "Help", true},
      {"kick hel", CommandAction::kForward, "kick", "hel", true},
      {"kick bob 2", CommandAction::kForward, "kick", "bob 2", true},
      {" kick", CommandAction::kForward, "", "kick", true},
      {" help", CommandAction::kHelp, "", "help", true},
      {"kick  help", CommandAction::kForward, "kick", " help",
       true},  // argument starts with a space
      {"kick  ", CommandAction::kForward, "kick", " ", true},
      {"a/b", CommandAction::kHelp, "a/b", "help", false},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE("line '" + c.line + "'");
    const CommandDecision decision = DecideCommand(c.line);
    EXPECT_EQ(decision.action, c.action);
    EXPECT_EQ(decision.hasSpace, c.hasSpace);
    if (c.action != CommandAction::kNothing) {
      EXPECT_EQ(decision.command, c.command);
      EXPECT_EQ(decision.argument, c.argument);
    }
  }
}

TEST(CapitalizedCommand, UpperCasesOnlyAnAsciiLowerCaseFirstByte) {
  EXPECT_EQ(CapitalizedCommand("kick"), "Kick");
  EXPECT_EQ(CapitalizedCommand("Kick"), "Kick");
  EXPECT_EQ(CapitalizedCommand("zed"), "Zed");
  EXPECT_EQ(CapitalizedCommand("1up"), "1up");
  EXPECT_EQ(CapitalizedCommand(""), "");
  EXPECT_EQ(CapitalizedCommand("\xe9t\xe9"), "\xe9t\xe9");
  EXPECT_EQ(CapitalizedCommand("aBC"), "ABC");
}

}  // namespace
