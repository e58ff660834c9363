// The rule file's checks: what a rule may hand to a program, and the fields of its text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "programs/find_program.h"
#include "rules/program_roles.h"
#include "rules/rule_fields.h"
#include "rules/rule_trust.h"
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

constexpr auto kPosix = ProgramNames::kPosix;
constexpr auto kWindows = ProgramNames::kWindows;
// A folder that holds nothing: no program is the admin's own there.
const std::string kNoFolder = "/nonexistent-console-server-rules";

enum Outcome { kRefused, kAllowed };

struct TextRow {
  const char* rule;  // a "=>" rule's words, split at spaces
  ProgramNames names;
  bool marked;
  Outcome outcome;
};

Outcome Check(const TextRow& row) {
  return CheckPlayersText(Words(row.rule), kNoFolder, row.marked, row.names) ? kAllowed : kRefused;
}

TEST(PlayersText, EachShellIsRefusedEvenWithTheMark) {
  for (const char* shell : {"cmd", "powershell", "pwsh", "sh", "bash", "rbash", "dash", "ash",
                            "zsh", "ksh", "mksh", "csh", "tcsh", "fish", "busybox"}) {
    const std::string rule = std::string(shell) + " script {args}";
    EXPECT_EQ(Check({rule.c_str(), kPosix, true, kAllowed}), kRefused) << rule;
    EXPECT_EQ(RoleOf(shell), ProgramRole::kShell) << shell;
  }
}

TEST(PlayersText, EachInterpreterIsRefusedItsProgramEvenWithTheMark) {
  for (const char* interpreter : {"awk", "gawk", "mawk", "nawk", "perl", "python", "pythonw", "py",
                                  "ruby", "node", "nodejs", "php", "lua", "tclsh", "sed", "gsed"}) {
    const std::string rule = std::string(interpreter) + " {args}";
    EXPECT_EQ(Check({rule.c_str(), kPosix, true, kAllowed}), kRefused) << rule;
    const ProgramRole role = RoleOf(interpreter);
    EXPECT_TRUE(role == ProgramRole::kInterpreter || role == ProgramRole::kStreamEditor)
        << interpreter;
  }
}

TEST(PlayersText, WhatSurelyRunsTheTextIsRefusedEvenWithTheMark) {
  const TextRow rows[] = {
      // A shell anywhere before the field, also behind a program that starts the next word.
      {"env sh -c {args}", kPosix, true, kRefused},
      {"timeout 5 bash -c {args}", kPosix, true, kRefused},
      {"/bin/ash script {args}", kPosix, true, kRefused},
      {"csh x{line}", kPosix, true, kRefused},
      {"conhost.exe cmd /c {args}", kWindows, true, kRefused},
      {"C:\\Windows\\System32\\CMD.EXE /C {args}", kWindows, true, kRefused},
      {"Bash.exe. script {args}", kWindows, true, kRefused},
      {"/mnt/c/Windows/System32/CMD.EXE x {args}", kPosix, true, kRefused},
      // Any version suffix.
      {"perl5.36-x86_64-linux-gnu {args}", kPosix, true, kRefused},
      {"python3.12 -c print({args})", kPosix, true, kRefused},
      {"bash5 x {args}", kPosix, true, kRefused},
      // Code flags, after an interpreter.
      {"python3 -c {args}", kPosix, true, kRefused},
      {"perl -e {args}", kPosix, true, kRefused},
      {"perl -E {args}", kPosix, true, kRefused},
      {"perl -ne {args}", kPosix, true, kRefused},
      {"python3 -Ic {args}", kPosix, true, kRefused},
      {"perl -e{args}", kPosix, true, kRefused},
      {"node --eval {args}", kPosix, true, kRefused},
      {"node --eval={args}", kPosix, true, kRefused},
      {"php -r {args}", kPosix, true, kRefused},
      {"awk -F : {args}", kPosix, true, kRefused},
      {"python3 -u {args}", kPosix, true, kRefused},
      {"py.exe {args}", kWindows, true, kRefused},
      // Programs that hand the text on to a shell or a terminal.
      {"ssh host cmd {args}", kPosix, true, kRefused},
      {"wsl.exe tool {args}", kWindows, true, kRefused},
      {"sqlite3 stats.db {args}", kPosix, true, kRefused},
      {"tmux send-keys -t game {args} Enter", kPosix, true, kRefused},
      {"screen -X stuff {args}", kPosix, true, kRefused},
      {"su game {args}", kPosix, true, kRefused},
      {"gdb -batch -ex {args}", kPosix, true, kRefused},
      {"gdb --eval-command={args}", kPosix, true, kRefused},
      {"sed -n --expression={args}", kPosix, true, kRefused},
      {"sed -e {args}", kPosix, true, kRefused},
      {"sed -n {args}", kPosix, true, kRefused},
      {"env -S {args}", kPosix, true, kRefused},
      // Launchers given the field as their program.
      {"sudo {args}", kPosix, true, kRefused},
      {"sudo -u game {args}", kPosix, true, kRefused},
      {"xargs {args}", kPosix, true, kRefused},
      {"setsid {args}", kPosix, true, kRefused},
      {"nohup {args}", kPosix, true, kRefused},
      {"stdbuf -oL {args}", kPosix, true, kRefused},
      {"chroot /srv/jail {args}", kPosix, true, kRefused},
      {"unshare -r {args}", kPosix, true, kRefused},
  };
  for (const TextRow& row : rows) EXPECT_EQ(Check(row), row.outcome) << row.rule;
}

TEST(PlayersText, AProgramNotOfYourOwnTakesTheFieldOnlyWithTheMark) {
  const TextRow rows[] = {
      {"grep -i -- {args} notes.txt", kPosix, false, kRefused},
      {"grep -i -- {args} notes.txt", kPosix, true, kAllowed},
      {"/usr/bin/tool {args}", kPosix, false, kRefused},
      // Flags that are code flags only after an interpreter.
      {"grep -e {args}", kPosix, true, kAllowed},
      {"grep -E {args}", kPosix, true, kAllowed},
      {"head -c {args}", kPosix, true, kAllowed},
      {"tail -c {args}", kPosix, true, kAllowed},
      {"ping -c {args} host", kPosix, true, kAllowed},
      {"echo -e {args}", kPosix, true, kAllowed},
      {"tool /k {args}", kWindows, true, kAllowed},
      // An interpreter with its program given, a database kept safe, a launcher with a program.
      {"python3 -I /opt/roll.py {args}", kPosix, true, kAllowed},
      {"awk -f prog.awk {args}", kPosix, true, kAllowed},
      {"sed s/a/b/ {args}", kPosix, true, kAllowed},
      {"python3 -c print(1) {args}", kPosix, true, kAllowed},
      {"sqlite3 -safe stats.db {args}", kPosix, true, kAllowed},
      {"nice ls {args}", kPosix, true, kAllowed},
      // POSIX names are case-sensitive.
      {"CMD x {args}", kPosix, true, kAllowed},
      // No field.
      {"sh say.sh", kPosix, false, kAllowed},
      {"cmd /c dir", kWindows, false, kAllowed},
      {"uptime --pretty", kPosix, false, kAllowed},
  };
  for (const TextRow& row : rows) EXPECT_EQ(Check(row), row.outcome) << row.rule;
}

TEST(PlayersText, EachRefusalNamesTheProgramsOwnRole) {
  const struct {
    const char* rule;
    const char* says;
    const char* never;
  } rows[] = {
      {"grep -i {args}", "=>!", "interpreter"},
      {"python3 {args}", "the interpreter python3, which would run {args} as its program", "-f"},
      {"sed -n {args}", "the stream editor sed", "interpreter"},
      {"sudo {args}", "the launcher sudo, which would start {args}", "interpreter"},
      {"sqlite3 x.db {args}", "-safe", "interpreter"},
  };
  for (const auto& row : rows) {
    const auto checked = CheckPlayersText(Words(row.rule), kNoFolder, false, kPosix);
    ASSERT_FALSE(checked) << row.rule;
    EXPECT_NE(checked.why().find(row.says), std::string::npos) << checked.why();
    EXPECT_EQ(checked.why().find(row.never), std::string::npos) << checked.why();
    EXPECT_NE(checked.why().find("CONSOLE_ARGS"), std::string::npos) << checked.why();
  }
}

TEST(PlayersText, AMarkedFieldThatOpensAWordWithoutDashDashIsWarnedOf) {
  const struct {
    const char* rule;
    std::size_t notes;
  } rows[] = {
      {"grep -i {args} notes.txt", 1},
      {"grep -i -- {args} notes.txt", 0},
      {"grep -i x{args}", 0},
  };
  for (const auto& row : rows) {
    const auto checked = CheckPlayersText(Words(row.rule), kNoFolder, true, kPosix);
    ASSERT_TRUE(checked) << row.rule;
    EXPECT_EQ(checked->value, Trust::kMarked);
    EXPECT_EQ(checked->notes.size(), row.notes) << row.rule;
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

  void Program(const std::string& name, bool runs) {
    const std::filesystem::path file = folder_ / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "#!/bin/sh\n";
    std::filesystem::permissions(
        file, runs ? std::filesystem::perms::owner_all
                   : std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
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
  EXPECT_NE(read->notes[1].text.find("test.rules:3: ./no-such-program-here"), std::string::npos);
  EXPECT_NE(read->notes[2].text.find("test.rules:3: never applies"), std::string::npos);
}

TEST_F(RuleFile, YourOwnCodeTakesTheFieldWithoutTheMark) {
  Program("roll.py", true);
  Program("tools/dice", true);
  const struct {
    const char* rule;
    bool read;
  } rows[] = {
      {"roll => roll.py {args}", true},
      {"roll => tools/dice {args}", true},
      {"roll => python3 -I roll.py {args}", true},
      {"roll => py.exe roll.py {args}", true},
      // A script elsewhere is not yours, nor is a program on the PATH.
      {"roll => python3 /opt/roll.py {args}", false},
      {"roll => ls {args}", false},
  };
  for (const auto& row : rows) {
    const auto read = Read("roll -> x\n" + std::string(row.rule) + "\n");
    EXPECT_EQ(static_cast<bool>(read), row.read) << row.rule << (read ? "" : ": " + read.why());
  }
}

TEST_F(RuleFile, ALinkBesideTheRulesIsWhatItPointsTo) {
  std::error_code status;
  const std::filesystem::path perl = std::filesystem::canonical("/usr/bin/perl", status);
  if (status) GTEST_SKIP() << "no perl to link to";
  std::filesystem::create_symlink(perl, folder_ / "calc");
  for (const char* rule :
       {"calc => calc {args}", "calc => calc -e{args}", "calc => calc -x {args}"}) {
    const auto read = Read(std::string(rule) + "\n");
    ASSERT_FALSE(read) << rule;
    EXPECT_NE(read.why().find("the interpreter calc"), std::string::npos) << read.why();
  }
}

TEST_F(RuleFile, AProgramThatCannotRunYetIsAWarningAndFoundAgainAtTheRun) {
  Program("calc.py", false);
  const auto read = Read("calc => calc.py {args}\n");
  ASSERT_TRUE(read) << read.why();
  ASSERT_EQ(read->notes.size(), 1u);
  EXPECT_NE(read->notes[0].text.find("chmod +x calc.py"), std::string::npos);
  EXPECT_FALSE(FindProgram(read->value[0].program, read->value[0].folder));
  std::filesystem::permissions(folder_ / "calc.py", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  EXPECT_TRUE(FindProgram(read->value[0].program, read->value[0].folder));
}

TEST_F(RuleFile, AProgramNotThereYetMayOnlyComeBesideTheRules) {
  const auto read = Read("greet => Hello {args}\n");
  ASSERT_TRUE(read) << read.why();
  ASSERT_EQ(read->notes.size(), 1u);
  EXPECT_NE(read->notes[0].text.find("a canned reply takes ->"), std::string::npos);
  // The folder is named plainly, without a trailing "/.".
  EXPECT_EQ(read->notes[0].text.find("/."), std::string::npos) << read->notes[0].text;
  EXPECT_EQ(read->value[0].program, "./Hello");
}

TEST_F(RuleFile, CrLfLineEndsReadAsLf) {
  Program("roll.py", true);
  const auto read = Read(
      "# Rolls dice\r\nroll => roll.py {args}\r\nkick -> Kicked {args}\r\n\r\n"
      "# parted\r\n\r\nban -> Banned\r\n");
  ASSERT_TRUE(read) << read.why();
  ASSERT_EQ(read->value.size(), 3u);
  EXPECT_EQ(read->value[0].description, "Rolls dice");
  EXPECT_EQ(read->value[0].arguments, std::vector<std::string>{"{args}"});
  EXPECT_EQ(read->value[1].reply, "Kicked {args}");
  EXPECT_EQ(read->value[2].partedDescription, "parted");
}

TEST_F(RuleFile, ACommentPartedFromItsRuleIsKeptForTheWarningButTheOpeningOnesAreNot) {
  const auto read = Read("# The file's own comment.\n\nkick -> x\n# Bans.\n\n\nban -> y\n");
  ASSERT_TRUE(read) << read.why();
  EXPECT_EQ(read->value[0].partedDescription, "");
  EXPECT_EQ(read->value[1].partedDescription, "Bans.");
}

}  // namespace
