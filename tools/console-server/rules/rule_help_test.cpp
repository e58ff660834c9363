// The help files that the rules' comments describe: which commands get one, that the plugin reads
// them, and what is written, replaced, removed and left alone in the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "help_check.h"
#include "rules/rule_help.h"

namespace {

namespace fs = std::filesystem;

ScriptRule Described(const std::string& command, const std::string& description) {
  ScriptRule rule;
  rule.command = command;
  rule.reply = "x";
  rule.description = description;
  return rule;
}

std::vector<std::string> Commands(const std::vector<RuleHelp>& files) {
  std::vector<std::string> commands;
  for (const RuleHelp& help : files) commands.push_back(help.command);
  return commands;
}

TEST(RuleHelp, ACommandThatIsNoPlainFileNameGetsNoHelpFile) {
  const struct {
    const char* command;
    bool gets;
  } rows[] = {
      // CONHelp.json is no device: Windows looks at the name before its first dot.
      {"roll", true},  {"com1", true},   {"a.b", true},    {"CON", true},
      {"LPT9", true},  {"a/b", false},   {"a\\b", false},  {"..", false},
      {"a..b", false}, {"com1.", false}, {"CON.x", false}, {"c:x", false},
      {"*", false},    {"a?b", false},   {"a|b", false},   {"a\x01", false},
  };
  for (const auto& row : rows) {
    const Noted<std::vector<RuleHelp>> files = RuleHelpFiles({Described(row.command, "Does.")});
    EXPECT_EQ(files.value.empty(), !row.gets) << row.command;
    EXPECT_EQ(files.notes.size(), row.gets ? 0u : 1u) << row.command;
  }
}

TEST(RuleHelp, OnlyDescribedRulesGetOneAndTheListNamesThem) {
  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles(
      {Described("roll", "Rolls dice: /roll 2d6"), Described("kick", ""),
       Described("Roll", "Second"), Described("ban", "Bans."), Described("bad", "\xC3(")});
  EXPECT_EQ(Commands(files.value),
            (std::vector<std::string>{"roll", "ban", std::string(kCommandsListCommand)}));
  EXPECT_EQ(files.notes.size(), 2u);  // Roll, the same file on Windows; a description not UTF-8
  EXPECT_EQ(files.value[0].lines, (std::vector<std::string>{"Rolls dice: /roll 2d6"}));
  const std::vector<std::string>& list = files.value.back().lines;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[1], "/roll: Rolls dice: /roll 2d6");
  EXPECT_EQ(list[2], "/ban: Bans.");
}

TEST(RuleHelp, ARuleOfTheListsNameKeepsTheListOut) {
  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles(
      {Described("roll", "Rolls."), Described(std::string(kCommandsListCommand), "")});
  EXPECT_EQ(Commands(files.value), std::vector<std::string>{"roll"});
  EXPECT_TRUE(RuleHelpFiles({Described("roll", "")}).value.empty());
}

TEST(RuleHelp, ThePluginShowsEachLineAsWritten) {
  const RuleHelp help{"roll",
                      {"Says \"hi\" \\ back", "tab\there \x7F", "caf\xC3\xA9 \xF0\x9F\x8E\xB2"}};
  std::istringstream in(RuleHelpText(help));
  std::ostringstream report;
  EXPECT_EQ(CheckHelpText(in, help.command, report), CheckResult::kOk) << report.str();
  EXPECT_NE(report.str().find("Says \"hi\" \\ back"), std::string::npos) << report.str();
  EXPECT_NE(report.str().find("caf\xC3\xA9"), std::string::npos) << report.str();
}

class HelpFolder : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("console-server-help-" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }

  std::string Text(const std::string& name) {
    std::ifstream in(folder_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  std::size_t Entries() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(HelpFolder, WritesChangedFilesOnlyAndRemovesItsOwnWhenTheRuleIsGone) {
  const RuleHelp roll{"roll", {"Rolls."}};
  const RuleHelp ban{"ban", {"Bans."}};
  EXPECT_EQ(UpdateHelpFolder(folder_, {roll, ban}).value.size(), 2u);
  EXPECT_EQ(Text("rollHelp.json"), RuleHelpText(roll));
  EXPECT_TRUE(UpdateHelpFolder(folder_, {roll, ban}).value.empty());
  const RuleHelp changed{"roll", {"Rolls dice."}};
  const Noted<std::vector<std::string>> done = UpdateHelpFolder(folder_, {changed});
  EXPECT_EQ(done.value.size(), 2u);  // rollHelp.json written, banHelp.json removed
  EXPECT_TRUE(done.notes.empty());
  EXPECT_EQ(Text("rollHelp.json"), RuleHelpText(changed));
  EXPECT_EQ(Entries(), 1u);  // no temporary file left
  std::ostringstream report;
  EXPECT_EQ(CheckHelpPath(folder_, report), CheckResult::kOk) << report.str();
}

TEST_F(HelpFolder, NeverTouchesAHelpFileItDidNotWrite) {
  const std::string own = R"({"help": "Mine."})";
  Write("rollHelp.json", own);
  Write("kickHelp.json", own);
  const Noted<std::vector<std::string>> done = UpdateHelpFolder(folder_, {{"roll", {"Rolls."}}});
  EXPECT_TRUE(done.value.empty());
  ASSERT_EQ(done.notes.size(), 1u);
  EXPECT_NE(done.notes[0].text.find("rollHelp.json alone"), std::string::npos);
  EXPECT_EQ(Text("rollHelp.json"), own);
  EXPECT_EQ(Text("kickHelp.json"), own);
}

}  // namespace
