// The help files that the rules' comments describe: which commands get one, that the plugin reads
// them, and what is written, replaced, removed and left alone in the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "help/help_mark.h"
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

TEST(RuleHelp, OnlyDescribedRulesThatApplyGetOne) {
  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles(
      {Described("roll", "Rolls dice: /roll 2d6"), Described("kick", ""),
       Described("Roll", "Second"), Described("ban", "Bans."), Described("bad", "\xC3("),
       Described("*", ""), Described("late", "Never applies.")});
  EXPECT_EQ(Commands(files.value), (std::vector<std::string>{"roll", "ban"}));
  EXPECT_EQ(files.notes.size(), 2u);  // Roll, the same file on Windows; a description not UTF-8
  EXPECT_EQ(files.value[0].lines, (std::vector<std::string>{"Rolls dice: /roll 2d6"}));
}

TEST(RuleHelp, NamesThatWindowsFoldsAlikeShareOneFile) {
  for (const auto& [first, second] : {std::pair<std::string, std::string>{"kick", "KICK"},
                                      {"\xC3\x89"
                                       "clair",
                                       "\xC3\xA9"
                                       "clair"},
                                      {"\xD0\xB4\xD0\xB0", "\xD0\x94\xD0\x90"}}) {
    const Noted<std::vector<RuleHelp>> files =
        RuleHelpFiles({Described(first, "One."), Described(second, "Two.")});
    EXPECT_EQ(Commands(files.value), std::vector<std::string>{first}) << second;
    EXPECT_EQ(files.notes.size(), 1u) << second;
  }
}

TEST(RuleHelp, ADescriptionPartedFromItsRuleIsToldOf) {
  ScriptRule parted = Described("ban", "");
  parted.partedDescription = "Bans.";
  const Noted<std::vector<RuleHelp>> files = RuleHelpFiles({parted});
  EXPECT_TRUE(files.value.empty());
  ASSERT_EQ(files.notes.size(), 1u);
  EXPECT_NE(files.notes[0].text.find("remove the blank line"), std::string::npos);
}

TEST(RuleHelp, TheListNamesTheFilesInPlaceUnlessARuleHasItsCommand) {
  const std::vector<RuleHelp> inPlace = {{"roll", {"Rolls."}}, {"ban", {"Bans."}}};
  const std::optional<RuleHelp> list = CommandsList({Described("roll", "Rolls.")}, inPlace);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->command, kCommandsListCommand);
  EXPECT_EQ(list->lines.size(), 3u);
  EXPECT_EQ(list->lines[1], "/roll: Rolls.");
  EXPECT_FALSE(CommandsList({Described("roll", "Rolls.")}, {}));
  EXPECT_FALSE(CommandsList({Described(std::string(kCommandsListCommand), "")}, inPlace));
  // One after the * rule never applies: the list stays.
  EXPECT_TRUE(CommandsList({Described("*", ""), Described(std::string(kCommandsListCommand), "")},
                           inPlace));
}

TEST(RuleHelp, ThePluginShowsEachLineAsWrittenAndTheCheckerKnowsTheMark) {
  const RuleHelp help{"roll",
                      {"Says \"hi\" \\ back", "tab\there \x7F", "caf\xC3\xA9 \xF0\x9F\x8E\xB2"}};
  std::istringstream in(RuleHelpText(help, "/srv/my.rules"));
  std::ostringstream report;
  EXPECT_EQ(CheckHelpText(in, help.command, report), CheckGrade::kOk) << report.str();
  EXPECT_NE(report.str().find("Says \"hi\" \\ back"), std::string::npos) << report.str();
  EXPECT_NE(report.str().find("caf\xC3\xA9"), std::string::npos) << report.str();
  EXPECT_NE(report.str().find(HelpMarkValue("/srv/my.rules")), std::string::npos);
  EXPECT_EQ(report.str().find("warning"), std::string::npos) << report.str();
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
  void Put(const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
  }
  // The rule file's path as the files name it.
  std::string Rules(const std::string& name = "my.rules") {
    return fs::weakly_canonical(fs::absolute(folder_.parent_path() / name)).u8string();
  }
  Noted<std::vector<std::string>> Write(const std::vector<ScriptRule>& rules,
                                        const std::string& name = "my.rules") {
    return WriteRuleHelp(folder_, rules, Rules(name));
  }
  std::size_t Entries() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
  }

  fs::path folder_;
};

TEST_F(HelpFolder, WritesChangedFilesOnlyAndRemovesItsOwnWhenTheRuleIsGone) {
  const std::vector<ScriptRule> rules = {Described("roll", "Rolls."), Described("ban", "Bans.")};
  EXPECT_EQ(Write(rules).value.size(), 3u);  // roll, ban and the list
  EXPECT_EQ(Text("rollHelp.json"), RuleHelpText({"roll", {"Rolls."}}, Rules()));
  EXPECT_TRUE(Write(rules).value.empty());
  const Noted<std::vector<std::string>> done = Write({Described("roll", "Rolls dice.")});
  EXPECT_EQ(done.value.size(), 3u);  // rollHelp.json and the list written, banHelp.json removed
  EXPECT_TRUE(done.notes.empty());
  EXPECT_EQ(Entries(), 2u);  // no temporary file left
  std::ostringstream report;
  EXPECT_EQ(CheckHelpFilesAt(folder_, report), CheckGrade::kOk) << report.str();
  EXPECT_EQ(report.str().find("warning"), std::string::npos) << report.str();
}

TEST_F(HelpFolder, NeverTouchesAHelpFileItDidNotWrite) {
  const std::string own = R"({"help": "Mine."})";
  Put("rollHelp.json", own);
  Put("kickHelp.json", own);
  const Noted<std::vector<std::string>> done = Write({Described("roll", "Rolls.")});
  EXPECT_TRUE(done.value.empty());
  ASSERT_EQ(done.notes.size(), 1u);
  EXPECT_NE(done.notes[0].text.find("rollHelp.json alone"), std::string::npos);
  EXPECT_EQ(Text("rollHelp.json"), own);
  EXPECT_EQ(Text("kickHelp.json"), own);
  // The list names only the commands whose file is in place.
  EXPECT_FALSE(fs::exists(folder_ / "commandsHelp.json"));
}

TEST_F(HelpFolder, TwoServersSharingAFolderLeaveEachOthersFilesAlone) {
  const std::vector<ScriptRule> rules = {Described("roll", "Rolls.")};
  Write(rules, "a.rules");
  const Noted<std::vector<std::string>> other = Write({Described("roll", "Other.")}, "b.rules");
  EXPECT_TRUE(other.value.empty());
  ASSERT_EQ(other.notes.size(), 1u);  // rollHelp.json is a.rules'
  const std::string named = "console-server wrote it from another rule file, " + Rules("a.rules");
  EXPECT_EQ(other.notes[0].text.substr(other.notes[0].text.size() - named.size()), named);
  EXPECT_EQ(Text("rollHelp.json"), RuleHelpText({"roll", {"Rolls."}}, Rules("a.rules")));
  EXPECT_TRUE(Write({}, "b.rules").value.empty());
  EXPECT_TRUE(Write(rules, "a.rules").value.empty());
  EXPECT_EQ(Write({}, "a.rules").value.size(), 2u);
}

TEST_F(HelpFolder, WritesThroughNoPlantedLinkAndWaitsOnNoFifo) {
  const fs::path outside = folder_.parent_path() / (folder_.filename().u8string() + "-outside");
  std::ofstream(outside) << "precious";
  fs::create_symlink(outside, folder_ / "rollHelp.json.tmp");
  fs::create_hard_link(outside, folder_ / "banHelp.json.tmp");
  ASSERT_EQ(mkfifo((folder_ / "kickHelp.json.tmp").c_str(), 0644), 0);
  const Noted<std::vector<std::string>> done =
      Write({Described("roll", "Rolls."), Described("ban", "Bans."), Described("kick", "Kicks.")});
  EXPECT_TRUE(done.notes.empty());
  std::ifstream in(outside);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
  fs::remove(outside);
}

TEST_F(HelpFolder, LeavesALinkOrAFifoAtAHelpFilesNameAlone) {
  ASSERT_EQ(mkfifo((folder_ / "kickHelp.json").c_str(), 0644), 0);
  fs::create_symlink(folder_ / "nowhere", folder_ / "rollHelp.json");
  const Noted<std::vector<std::string>> done =
      Write({Described("roll", "Rolls."), Described("kick", "Kicks.")});
  EXPECT_EQ(done.notes.size(), 2u);
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder_ / "rollHelp.json")));
}

TEST_F(HelpFolder, RemovesItsOwnTemporaryFileLeftBehindOnly) {
  Put("rollHelp.json.1234.tmp", RuleHelpText({"roll", {"Rolls."}}, Rules()));
  Put("banHelp.json.1234.tmp", "someone's");
  const Noted<std::vector<std::string>> done = Write({});
  EXPECT_EQ(done.value.size(), 1u);
  EXPECT_FALSE(fs::exists(folder_ / "rollHelp.json.1234.tmp"));
  EXPECT_TRUE(fs::exists(folder_ / "banHelp.json.1234.tmp"));
}

}  // namespace
