// When a changed rule file is read again: a step table of looks at the file, and what the looks
// at a rule file that is gone or no file now, or whose program can run now, tell.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "rules/rule_file.h"
#include "rules/stable_file.h"

namespace {

// A look by its size and time in seconds; a size of -1 is a file that could not be looked at.
struct Step {
  int size;
  int seconds;
  bool readAgain;
};

std::optional<FileLook> Look(int size, int seconds) {
  if (size < 0) return std::nullopt;
  return FileLook{std::filesystem::file_time_type() + std::chrono::seconds(seconds),
                  static_cast<std::uintmax_t>(size)};
}

void RunSteps(const std::vector<Step>& steps) {
  FileLooks looks;
  looks.read = looks.last = Look(10, 1);
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const LookDecision decision = DecideOnLook(looks, Look(steps[i].size, steps[i].seconds));
    EXPECT_EQ(decision.readAgain, steps[i].readAgain) << "step " << i;
    looks = decision.looks;
  }
}

TEST(StableRuleFile, AFileUnchangedIsNotReadAgain) {
  RunSteps({{10, 1, false}, {10, 1, false}});
}

TEST(StableRuleFile, AChangeIsReadOnceItStayedTheSameOverTwoLooks) {
  RunSteps({{20, 2, false}, {20, 2, true}, {20, 2, false}});
}

TEST(StableRuleFile, AFileHalfWrittenAtOneLookIsNeverRead) {
  // Written in two steps: the half of the first look changed by the next, and only the whole read.
  RunSteps({{15, 2, false}, {20, 3, false}, {20, 3, true}});
}

TEST(StableRuleFile, EitherTheSizeOrTheTimeIsAChange) {
  RunSteps({{10, 2, false}, {10, 2, true}, {11, 2, false}, {11, 2, true}});
}

TEST(StableRuleFile, AFileThatCannotBeLookedAtWaitsForTwoLooksAgain) {
  RunSteps({{20, 2, false}, {-1, 0, false}, {20, 2, false}, {20, 2, true}});
}

TEST(StableRuleFile, AChangeBackToTheReadingInUseIsNoChange) {
  RunSteps({{20, 2, false}, {10, 1, false}, {10, 1, false}});
}

namespace fs = std::filesystem;

// A rule file in a folder of its own, looked at once a second of a clock the test moves.
class LookedAtRuleFile : public testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() /
              ("console-server-looks-" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    StartWith("kick -> Kicked\n");
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path path() const { return folder_ / "test.rules"; }
  void Put(const std::string& text) { std::ofstream(path(), std::ios::binary) << text; }
  RuleFileNews Look() {
    now_ += kRuleFileCheck;
    RuleFileNews found = file_->Look(now_, rules_);
    if (found.rules) rules_ = *found.rules;
    return found;
  }
  // A new RuleFile that read text first.
  void StartWith(const std::string& text) {
    Put(text);
    file_.emplace(path().u8string());
    const auto read = file_->ReadFirst();
    ASSERT_TRUE(read) << read.why();
    rules_ = read->value;
  }
  // What the look that reads text, once written, finds.
  RuleFileNews LookAfterPutting(const std::string& text) {
    Put(text);
    // Seen as a change even when written within the second of the last reading.
    fs::last_write_time(path(), fs::last_write_time(path()) + std::chrono::seconds(5));
    Look();
    return Look();
  }
  // The "!" lines of so many looks.
  std::size_t TroubleOver(int looks) {
    std::size_t lines = 0;
    for (int i = 0; i < looks; ++i) {
      const RuleFileNews found = Look();
      EXPECT_FALSE(found.rules);
      lines += found.trouble.size();
    }
    return lines;
  }

  fs::path folder_;
  std::optional<RuleFile> file_;
  std::vector<ScriptRule> rules_;
  std::chrono::steady_clock::time_point now_;
};

TEST_F(LookedAtRuleFile, ARuleFileGoneOrNoFileGetsOneLineEachTimeAndTheRulesStay) {
  const auto kinds = {
      +[](const fs::path& file) { fs::remove(file); },
      +[](const fs::path& file) { fs::create_directory(file); },
      +[](const fs::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0644), 0); },
      +[](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
  };
  for (const auto make : kinds) {
    fs::remove_all(path());
    make(path());
    EXPECT_EQ(TroubleOver(4), 1u);
    ASSERT_EQ(rules_.size(), 1u);
    EXPECT_EQ(rules_[0].text, "kick -> Kicked");
    fs::remove_all(path());
    Put("kick -> Kicked\n");
    for (int i = 0; i < 3; ++i) Look();
  }
}

TEST_F(LookedAtRuleFile, EachLineChangedCountsOnceAReplacedOneToo) {
  const struct {
    const char* rules;  // after "kick -> Kicked"
    const char* news;
  } rows[] = {
      {"kick -> Kicked\nban -> Banned\n", "rules read again: 2 rules, 1 line changed"},
      {"kick -> Kicked now\n", "rules read again: 1 rule, 1 line changed"},
      {"kick -> Kicked now\nban -> Banned\n", "rules read again: 2 rules, 2 lines changed"},
      {"ban -> Banned\nmute -> Muted\n", "rules read again: 2 rules, 2 lines changed"},
      {"# none\n", "rules read again: 0 rules, 1 line changed"},
      {"# a comment\nkick -> Kicked\n", "rules read again: 1 rule, 0 lines changed"},
  };
  for (const auto& row : rows) {
    StartWith("kick -> Kicked\n");
    const RuleFileNews found = LookAfterPutting(row.rules);
    ASSERT_TRUE(found.rules) << row.rules;
    EXPECT_EQ(found.news.front(), row.news) << row.rules;
  }
}

TEST_F(LookedAtRuleFile, AUtf16FileGetsOneLineAtTheStartAndWhenReadAgain) {
  using std::string_literals::operator""s;
  for (const std::string& text : {
           "\xFF\xFEk\0i\0c\0k\0 \0-\0>\0 \0X\0\n\0"s,  // Notepad's "Unicode"
           "\xFE\xFF\0k\0i\0c\0k\0 \0-\0>\0 \0X\0\n"s,  // "Unicode big endian"
           "k\0i\0c\0k\0 \0-\0>\0 \0X\0\n\0"s,          // no byte-order mark
           "\0k\0i\0c\0k\0 \0-\0>\0 \0X\0\n"s,
       }) {
    const std::string why = path().u8string() + ": " + kUtf16RuleFile;
    Put(text);
    const auto first = RuleFile(path().u8string()).ReadFirst();
    ASSERT_FALSE(first);
    EXPECT_EQ(first.why(), why);
    StartWith("kick -> Kicked\n");
    const RuleFileNews found = LookAfterPutting(text);
    EXPECT_FALSE(found.rules);
    EXPECT_EQ(found.trouble,
              std::vector<std::string>{"rules not read again, the 1 rule before stay: " + why});
  }
}

TEST_F(LookedAtRuleFile, AUtf8ByteOrderMarkIsSkipped) {
  Put("\xEF\xBB\xBFkick -> Kicked\n");
  const auto first = RuleFile(path().u8string()).ReadFirst();
  ASSERT_TRUE(first) << first.why();
  EXPECT_EQ(first->value.at(0).command, "kick");
  StartWith("ban -> Banned\n");
  const RuleFileNews found = LookAfterPutting("\xEF\xBB\xBFkick -> Kicked\n");
  ASSERT_TRUE(found.rules);
  EXPECT_EQ(found.rules->at(0).command, "kick");
}

TEST_F(LookedAtRuleFile, AProgramGivenTheExecutePermissionIsToldOfWithoutASave) {
  std::ofstream(folder_ / "calc.py") << "#!/bin/sh\n";
  Put("calc => calc.py {args}\n");
  file_.emplace(path().u8string());
  rules_ = file_->ReadFirst()->value;
  EXPECT_TRUE(Look().news.empty());
  fs::permissions(folder_ / "calc.py", fs::perms::owner_exec, fs::perm_options::add);
  const RuleFileNews found = Look();
  ASSERT_EQ(found.news.size(), 1u);
  EXPECT_NE(found.news[0].find("/calc can run now"), std::string::npos);
  EXPECT_TRUE(Look().news.empty());
}

TEST_F(LookedAtRuleFile, AFolderThatOthersCanWriteKeepsTheRulesBefore) {
  fs::permissions(folder_, fs::perms::others_write, fs::perm_options::add);
  Put("kick -> Kicked\nban -> Banned\n");
  fs::last_write_time(path(), fs::last_write_time(path()) + std::chrono::seconds(5));
  Look();
  const RuleFileNews found = Look();
  EXPECT_FALSE(found.rules);
  ASSERT_EQ(found.trouble.size(), 1u);
  EXPECT_EQ(found.trouble[0],
            "rules not read again, the 1 rule before stay: " + folder_.u8string() +
                " may be written by another user, and would steer what "
                "console-server runs: any user may write it (chmod go-w " +
                folder_.u8string() + ")");
  EXPECT_EQ(rules_.size(), 1u);
}

}  // namespace
