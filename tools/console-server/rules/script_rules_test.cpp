// The rule file's checks: what a rule may hand to a program, and the fields of its text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "rules/interpreters.h"
#include "rules/rule_fields.h"
#include "rules/script_rules.h"

namespace {

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

struct CodeRow {
  const char* rule;  // a "=>" rule's words, split at spaces
  ProgramNames names;
  bool refused;
};

constexpr auto kPosix = ProgramNames::kPosix;
constexpr auto kWindows = ProgramNames::kWindows;

TEST(RuleCode, RefusesTheFieldWhereAnInterpreterWouldRunItAsCode) {
  const CodeRow rows[] = {
      // A shell anywhere before the field, also behind a program that starts the next word.
      {"env sh -c {args}", kPosix, true},
      {"nice sh -c {args}", kPosix, true},
      {"timeout 5 bash -c {args}", kPosix, true},
      {"rbash -c {args}", kPosix, true},
      {"/bin/ash script {args}", kPosix, true},
      {"csh x{line}", kPosix, true},
      {"/usr/bin/tcsh {command}", kPosix, true},
      {"mksh {args}", kPosix, true},
      {"busybox sh {args}", kPosix, true},
      {"conhost.exe cmd /c {args}", kWindows, true},
      {"C:\\Windows\\System32\\CMD.EXE /C {args}", kWindows, true},
      {"Bash.exe. script {args}", kWindows, true},
      // POSIX names are case-sensitive, but a Windows program is found as Windows does.
      {"CMD x {args}", kPosix, false},
      {"/mnt/c/Windows/System32/CMD.EXE x {args}", kPosix, true},
      // A code flag whose value holds the field.
      {"python3 -c {args}", kPosix, true},
      {"python3.12 -c print({args})", kPosix, true},
      {"perl -e {args}", kPosix, true},
      {"perl -E {args}", kPosix, true},
      {"perl -ne {args}", kPosix, true},
      {"python3 -Ic {args}", kPosix, true},
      {"perl -e{args}", kPosix, true},
      {"node --eval {args}", kPosix, true},
      {"node --eval={args}", kPosix, true},
      {"tool -Command {args}", kWindows, true},
      {"tool -encodedcommand:{args}", kWindows, true},
      {"tool /k {args}", kPosix, true},
      {"tool /R{args}", kWindows, true},
      {"grep -e {args}", kPosix, true},
      // A code flag whose value is the rule's own, or that "--" ends.
      {"grep -e pattern {args}", kPosix, false},
      {"grep -e -- {args}", kPosix, false},
      {"wc -c -- {args}", kPosix, false},
      {"python3 -c print(1) {args}", kPosix, false},
      {"ls /cache/{args}", kPosix, false},
      // An interpreter that would take the field for its program.
      {"awk {args}", kPosix, true},
      {"env awk {args}", kPosix, true},
      {"awk -F : {args}", kPosix, true},
      {"gawk -v x=1 {args}", kPosix, true},
      {"sed -n {args}", kPosix, true},
      {"python3 {args}", kPosix, true},
      {"python3 -u {args}", kPosix, true},
      {"py.exe {args}", kWindows, true},
      // ... and one that has its program already.
      {"awk -f prog.awk {args}", kPosix, false},
      {"awk {print} {args}", kPosix, false},
      {"sed s/a/b/ {args}", kPosix, false},
      {"python3 roll.py {args}", kPosix, false},
      {"python3 -m http.server {args}", kPosix, false},
      {"py.exe roll.py {args}", kWindows, false},
      // No field, or no interpreter.
      {"sh say.sh", kPosix, false},
      {"cmd /c dir", kWindows, false},
      {"echo {args}", kPosix, false},
      {"roll.py {args}", kPosix, false},
      {"shellcheck {args}", kPosix, false},
      {"uptime --pretty", kPosix, false},
  };
  for (const CodeRow& row : rows) {
    const Result<> checked = CheckNoCodeFromPlayer(Words(row.rule), row.names);
    EXPECT_EQ(!checked, row.refused) << row.rule;
  }
}

struct FieldRow {
  const char* text;
  const char* filled;  // nullptr: refused
};

TEST(RuleFields, FillsInTheThreeFieldsAndRefusesAnyOtherBrace) {
  const FieldRow rows[] = {
      {"{line}|{command}|{args}", "kick bob|kick|bob"},
      {"{{args}", "{args}"},
      {"{{{args}}", "{bob}"},
      {"a } b", "a } b"},
      {"", ""},
      {"{args", nullptr},
      {"{argz}", nullptr},
      {"{}", nullptr},
      {"{ args }", nullptr},
      {"x {", nullptr},
      {"{ARGS}", nullptr},
  };
  for (const FieldRow& row : rows) {
    const Result<> checked = CheckFields(row.text);
    EXPECT_EQ(static_cast<bool>(checked), row.filled != nullptr) << row.text;
    if (checked) {
      EXPECT_EQ(FilledIn(row.text, {"kick bob", "kick", "bob"}), row.filled);
    }
  }
  EXPECT_FALSE(HoldsField("{{args}"));
  EXPECT_TRUE(HoldsField("x{{{args}"));
}

TEST(RuleFields, APlayersBracesAreNotFilledInAgain) {
  EXPECT_EQ(FilledIn("<{args}>", {"", "", "{line}"}), "<{line}>");
}

class RuleFile : public testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("console-server-rules-" + std::to_string(testing::UnitTest::GetInstance()->random_seed()) +
         testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  Result<Noted<std::vector<ScriptRule>>> Read(const std::string& text) {
    const std::filesystem::path path = folder_ / "test.rules";
    std::ofstream(path, std::ios::binary) << text;
    return ReadScriptRules(path.u8string());
  }

  std::filesystem::path folder_;
};

TEST_F(RuleFile, ARefusedRuleNamesItsLineTheCauseAndTheFix) {
  const struct {
    const char* rule;
    const char* cause;
  } rows[] = {
      {"say -> {args", "a { is not closed"},
      {"say -> {argz}", "{argz} is no field"},
      {"say => echo {argz}", "{argz} is no field"},
      {"say => env sh -c {args}", "the command shell sh"},
      {"say => python3 -c {args}", "as code to run"},
      {"say => awk {args}", "as its program"},
  };
  for (const auto& row : rows) {
    const auto read = Read("# ok\nkick -> Kicked\n" + std::string(row.rule) + "\n");
    ASSERT_FALSE(read) << row.rule;
    EXPECT_NE(read.why().find("test.rules:3: say: "), std::string::npos) << read.why();
    EXPECT_NE(read.why().find(row.cause), std::string::npos) << read.why();
    // The fix: what to write instead.
    EXPECT_TRUE(read.why().find("{{") != std::string::npos ||
                read.why().find("CONSOLE_ARGS") != std::string::npos)
        << read.why();
  }
}

TEST_F(RuleFile, TheCommentDirectlyAboveARuleDescribesIt) {
  const auto read = Read(
      "# The file's own comment.\n\n# Rolls dice: /roll 2d6\nroll -> {args}\n"
      "kick -> Kicked\n# first\n#   second  \nban -> Banned\n");
  ASSERT_TRUE(read) << read.why();
  ASSERT_EQ(read->value.size(), 3u);
  EXPECT_EQ(read->value[0].description, "Rolls dice: /roll 2d6");
  EXPECT_EQ(read->value[1].description, "");
  EXPECT_EQ(read->value[2].description, "second");
}

TEST_F(RuleFile, WhatIsSurelyNotMeantIsNotedWithItsLine) {
  const auto read = Read("* -> ?\nlate -> never\nrun => no-such-program-here {args}\n");
  ASSERT_TRUE(read) << read.why();
  EXPECT_EQ(read->value.size(), 3u);
  ASSERT_EQ(read->notes.size(), 3u);
  EXPECT_NE(read->notes[0].text.find("test.rules:2: never applies"), std::string::npos);
  EXPECT_NE(read->notes[1].text.find("test.rules:3: no-such-program-here"), std::string::npos);
  EXPECT_NE(read->notes[2].text.find("test.rules:3: never applies"), std::string::npos);
}

}  // namespace
