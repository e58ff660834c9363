// The rule file's checks: what a rule may hand to a program, and the fields of its text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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
#include "rules/strict_modes.h"

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

constexpr ProgramRole kShell = ProgramRole::kShell;
constexpr ProgramRole kInterpreter = ProgramRole::kInterpreter;
constexpr ProgramRole kStreamEditor = ProgramRole::kStreamEditor;
constexpr ProgramRole kEditor = ProgramRole::kEditor;
constexpr ProgramRole kHandsOn = ProgramRole::kHandsOn;
constexpr ProgramRole kDatabase = ProgramRole::kDatabase;
constexpr ProgramRole kDebugger = ProgramRole::kDebugger;
constexpr ProgramRole kLauncher = ProgramRole::kLauncher;

// Every program that console-server knows, with its role: the table must hold these and no
// other.
const NamedRole kExpectedRoles[] = {
    {"cmd", kShell},
    {"powershell", kShell},
    {"pwsh", kShell},
    {"busybox", kShell},
    {"sh", kShell},
    {"bash", kShell},
    {"rbash", kShell},
    {"dash", kShell},
    {"ash", kShell},
    {"zsh", kShell},
    {"ksh", kShell},
    {"mksh", kShell},
    {"yash", kShell},
    {"csh", kShell},
    {"tcsh", kShell},
    {"fish", kShell},
    {"awk", kInterpreter},
    {"gawk", kInterpreter},
    {"mawk", kInterpreter},
    {"nawk", kInterpreter},
    {"perl", kInterpreter},
    {"python", kInterpreter},
    {"pythonw", kInterpreter},
    {"py", kInterpreter},
    {"pypy", kInterpreter},
    {"ipython", kInterpreter},
    {"ruby", kInterpreter},
    {"node", kInterpreter},
    {"nodejs", kInterpreter},
    {"php", kInterpreter},
    {"lua", kInterpreter},
    {"luajit", kInterpreter},
    {"tclsh", kInterpreter},
    {"wish", kInterpreter},
    {"Rscript", kInterpreter},
    {"R", kInterpreter},
    {"julia", kInterpreter},
    {"deno", kInterpreter},
    {"bun", kInterpreter},
    {"expect", kInterpreter},
    {"osascript", kInterpreter},
    {"guile", kInterpreter},
    {"racket", kInterpreter},
    {"sbcl", kInterpreter},
    {"elixir", kInterpreter},
    {"erl", kInterpreter},
    {"raku", kInterpreter},
    {"perl6", kInterpreter},
    {"qjs", kInterpreter},
    {"groovy", kInterpreter},
    {"java", kInterpreter},
    {"cscript", kInterpreter},
    {"wscript", kInterpreter},
    {"mshta", kInterpreter},
    {"rundll32", kInterpreter},
    {"sed", kStreamEditor},
    {"gsed", kStreamEditor},
    {"vim", kEditor},
    {"vi", kEditor},
    {"nvim", kEditor},
    {"ex", kEditor},
    {"view", kEditor},
    {"vimdiff", kEditor},
    {"gvim", kEditor},
    {"rvim", kEditor},
    {"emacs", kEditor},
    {"ssh", kHandsOn},
    {"mosh", kHandsOn},
    {"wsl", kHandsOn},
    {"tmux", kHandsOn},
    {"screen", kHandsOn},
    {"su", kHandsOn},
    {"sg", kHandsOn},
    {"watch", kHandsOn},
    {"script", kHandsOn},
    {"parallel", kHandsOn},
    {"xterm", kHandsOn},
    {"at", kHandsOn},
    {"forfiles", kHandsOn},
    {"wmic", kHandsOn},
    {"schtasks", kHandsOn},
    {"runas", kHandsOn},
    {"psexec", kHandsOn},
    {"bitsadmin", kHandsOn},
    {"msiexec", kHandsOn},
    {"sqlite3", kDatabase},
    {"sqlite", kDatabase},
    {"gdb", kDebugger},
    {"lldb", kDebugger},
    {"sudo", kLauncher},
    {"doas", kLauncher},
    {"runuser", kLauncher},
    {"pkexec", kLauncher},
    {"xargs", kLauncher},
    {"setsid", kLauncher},
    {"nohup", kLauncher},
    {"stdbuf", kLauncher},
    {"chroot", kLauncher},
    {"unshare", kLauncher},
    {"nsenter", kLauncher},
    {"setpriv", kLauncher},
    {"systemd-run", kLauncher},
    {"env", kLauncher},
    {"nice", kLauncher},
    {"ionice", kLauncher},
    {"chrt", kLauncher},
    {"timeout", kLauncher},
    {"taskset", kLauncher},
    {"flock", kLauncher},
    {"strace", kLauncher},
    {"ltrace", kLauncher},
    {"valgrind", kLauncher},
    {"time", kLauncher},
    {"fakeroot", kLauncher},
    {"faketime", kLauncher},
    {"npx", kLauncher},
    {"bunx", kLauncher},
    {"sshpass", kLauncher},
    {"conhost", kLauncher},
    {"start", kLauncher},
};

TEST(ProgramRoles, TheTableHoldsEachListedProgramWithItsRoleAndNoOther) {
  const std::vector<NamedRole> table = KnownProgramRoles();
  const auto holds = [](const auto& rows, const NamedRole& wanted) {
    return std::any_of(std::begin(rows), std::end(rows), [&](const NamedRole& row) {
      return row.name == wanted.name && row.role == wanted.role;
    });
  };
  for (const NamedRole& row : table) EXPECT_TRUE(holds(kExpectedRoles, row)) << row.name;
  for (const NamedRole& row : kExpectedRoles) {
    EXPECT_TRUE(holds(table, row)) << row.name;
    EXPECT_EQ(RoleOf(row.name, kPosix), row.role) << row.name;
    // Windows names: any case, with .exe, with trailing dots.
    EXPECT_EQ(RoleOf(std::string(row.name) + ".EXE.", kWindows), row.role) << row.name;
  }
  EXPECT_EQ(table.size(), std::size(kExpectedRoles));
}

TEST(ProgramRoles, AVersionAfterTheNameIsTheProgramButAScriptsExtensionIsNot) {
  const struct {
    const char* word;
    ProgramRole role;
  } rows[] = {
      {"python3.12", kInterpreter},
      {"perl5.36-x86_64-linux-gnu", kInterpreter},
      {"bash5", kShell},
      {"vim.basic", kEditor},
      {"watch.sh", ProgramRole::kOther},
      {"start.py", ProgramRole::kOther},
      {"time.PY", ProgramRole::kOther},
      {"timeout", kLauncher},
      {"envsubst", ProgramRole::kOther},
      {"/usr/bin/sudo", kLauncher},
  };
  for (const auto& row : rows) EXPECT_EQ(RoleOf(row.word, kPosix), row.role) << row.word;
}

TEST(PlayersText, EachShellIsRefusedEvenWithTheMark) {
  for (const NamedRole& row : kExpectedRoles) {
    if (row.role != kShell) continue;
    const std::string rule = std::string(row.name) + " script {args}";
    EXPECT_EQ(Check({rule.c_str(), kPosix, true, kAllowed}), kRefused) << rule;
  }
}

TEST(PlayersText, EachInterpreterIsRefusedItsProgramEvenWithTheMark) {
  for (const NamedRole& row : kExpectedRoles) {
    if (row.role != kInterpreter && row.role != kStreamEditor) continue;
    const std::string rule = std::string(row.name) + " {args}";
    EXPECT_EQ(Check({rule.c_str(), kPosix, true, kAllowed}), kRefused) << rule;
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
      // Interpreters whose program is an option's value read options after it, up to --.
      {"awk -f stats.awk {args}", kPosix, true, kRefused},
      {"gawk -f stats.awk {args}", kPosix, true, kRefused},
      {"mawk -f stats.awk {args}", kPosix, true, kRefused},
      {"sed s/a/b/ x{args} {args}", kPosix, true, kRefused},
      {"sed -f edit.sed {args}", kPosix, true, kRefused},
      {"sed s/a/b/ {args}", kPosix, true, kRefused},
      {"sed -e s/a/b/ {args}", kPosix, true, kRefused},
      {"perl -e print {args}", kPosix, true, kRefused},
      {"node -e console.log(1) {args}", kPosix, true, kRefused},
      // The program position, whatever stands before it: a flag that names the program...
      {"python3 -m {args}", kPosix, true, kRefused},
      {"awk -f {args}", kPosix, true, kRefused},
      {"ruby -r {args} x.rb", kPosix, true, kRefused},
      {"perl -M{args} x.pl", kPosix, true, kRefused},
      // ... and the first word after options that take values.
      {"perl -I lib {args}", kPosix, true, kRefused},
      {"sudo -u git {args}", kPosix, true, kRefused},
      {"runuser -u git -- {args}", kPosix, true, kRefused},
      {"env FOO=1 {args}", kPosix, true, kRefused},
      {"timeout -s KILL 5 {args}", kPosix, true, kRefused},
      {"xargs -I x {args}", kPosix, true, kRefused},
      {"python3 -W error {args}", kPosix, true, kRefused},
      // Launchers that hand their words to a shell.
      {"sudo -s tool {args}", kPosix, true, kRefused},
      {"runuser git tool {args}", kPosix, true, kRefused},
      {"flock /tmp/x -c {args}", kPosix, true, kRefused},
      // Programs that run text, on both systems.
      {"forfiles /p x /c {args}", kPosix, true, kRefused},
      {"forfiles.exe /m {args}", kWindows, true, kRefused},
      {"wmic process call create {args}", kWindows, true, kRefused},
      {"schtasks /create /tr {args}", kWindows, true, kRefused},
      {"MSHTA.EXE {args}", kWindows, true, kRefused},
      {"rundll32 {args}", kWindows, true, kRefused},
      {"cscript //nologo {args}", kWindows, true, kRefused},
      {"wscript.exe {args}", kPosix, true, kRefused},
      {"Rscript -e {args}", kPosix, true, kRefused},
      {"julia -e {args}", kPosix, true, kRefused},
      {"deno eval {args}", kPosix, true, kRefused},
      {"deno run {args}", kPosix, true, kRefused},
      {"bun -e {args}", kPosix, true, kRefused},
      {"expect -c {args}", kPosix, true, kRefused},
      {"script -c {args}", kPosix, true, kRefused},
      {"vim -c {args}", kPosix, true, kRefused},
      {"vim +{args}", kPosix, true, kRefused},
      {"vi notes.txt {args}", kPosix, true, kRefused},
      {"nvim --cmd={args}", kPosix, true, kRefused},
      {"emacs --batch --eval {args}", kPosix, true, kRefused},
      {"lldb -o {args}", kPosix, true, kRefused},
      {"osascript -e {args}", kPosix, true, kRefused},
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
      {"awk -f prog.awk -- {args}", kPosix, true, kAllowed},
      {"awk -f prog.awk x{args}", kPosix, true, kAllowed},
      {"awk -f prog.awk x{args} {args}", kPosix, true, kAllowed},
      {"sed s/a/b/ -- {args}", kPosix, true, kAllowed},
      {"python3 -c print(1) {args}", kPosix, true, kAllowed},
      {"perl -e print -- {args}", kPosix, true, kAllowed},
      {"perl -I lib /opt/x.pl {args}", kPosix, true, kAllowed},
      {"sudo -u git tool {args}", kPosix, true, kAllowed},
      {"runuser -u git -- tool {args}", kPosix, true, kAllowed},
      {"env FOO=1 tool {args}", kPosix, true, kAllowed},
      {"timeout -s KILL 5 tool {args}", kPosix, true, kAllowed},
      {"deno run -A /opt/x.ts {args}", kPosix, true, kAllowed},
      {"vim -- {args}", kPosix, true, kAllowed},
      {"cscript //nologo C:\\x.vbs {args}", kWindows, true, kAllowed},
      // A word after a program of no role is its argument, whatever it names.
      {"grep python {args}", kPosix, true, kAllowed},
      {"printf %s {args}", kPosix, true, kAllowed},
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

TEST(PlayersText, EachRefusalNamesTheProgramsOwnRoleAndOffersAShapeItAccepts) {
  const struct {
    const char* rule;
    bool marked;
    const char* says;
    const char* fix;  // a shape that is accepted, as the refusal writes it
  } rows[] = {
      {"grep -i {args}", false, "is not a program of yours", "=>! grep -i -- {args}"},
      {"python3 {args}", false, "the interpreter python3, which would run {args} as its program",
       "python3 SCRIPT {args}"},
      {"sed -n {args}", true, "the stream editor sed", "sed -n SCRIPT {args}"},
      {"sudo {args}", true, "the launcher sudo, which would start {args}", "sudo PROGRAM {args}"},
      {"sudo -u git {args}", true, "the launcher sudo", "sudo -u git PROGRAM {args}"},
      {"sqlite3 x.db {args}", false, "dot-commands", "sqlite3 -safe x.db {args}"},
      {"awk -f stats.awk {args}", false, "still reads options at {args}",
       "awk -f stats.awk -- {args}"},
      {"perl -e print {args}", true, "still reads options", "perl -e print -- {args}"},
      {"bash -c {args}", true, "the command shell bash", "bash note.sh {args}"},
      {"cmd /c {args}", true, "the command shell cmd", "weather.py {args}"},
      {"python3 -c {args}", true, "-c would take {args} as code to run", "weather.py {args}"},
      {"ssh host {args}", true, "hands its words on", "weather.py {args}"},
  };
  for (const auto& row : rows) {
    const auto checked = CheckPlayersText(Words(row.rule), kNoFolder, row.marked, kPosix);
    ASSERT_FALSE(checked) << row.rule;
    EXPECT_NE(checked.why().find(row.says), std::string::npos) << checked.why();
    EXPECT_NE(checked.why().find(row.fix), std::string::npos) << checked.why();
    // A refused mark is told why it did not help.
    EXPECT_EQ(checked.why().find("=>! does not make this safe") != std::string::npos, row.marked)
        << checked.why();
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
      // Where -- would reach the program's code or output, it is not advised.
      {"python3 -c print(1) {args}", 0},
      {"printf %s {args}", 0},
      {"echo {args}", 0},
  };
  for (const auto& row : rows) {
    const auto checked = CheckPlayersText(Words(row.rule), kNoFolder, true, kPosix);
    ASSERT_TRUE(checked) << row.rule;
    EXPECT_EQ(checked->value, Trust::kMarked);
    EXPECT_EQ(checked->notes.size(), row.notes) << row.rule;
  }
}

TEST(StrictModes, OnlyItsOwnerConsoleServersUserOrRootMayWriteAFile) {
  constexpr std::uint32_t kOurs = 1000;
  const struct {
    std::uint32_t owner;
    std::uint32_t mode;
    bool groupShared;
    const char* why;  // nullptr: no one else can write it
  } rows[] = {
      // Each mode bit alone, of a file of console-server's user.
      {kOurs, 0400, true, nullptr},
      {kOurs, 0200, true, nullptr},
      {kOurs, 0100, true, nullptr},
      {kOurs, 0040, true, nullptr},
      {kOurs, 0020, false, nullptr},
      {kOurs, 0020, true, "its group 7 may write it, and has members other than its owner"},
      {kOurs, 0010, true, nullptr},
      {kOurs, 0004, true, nullptr},
      {kOurs, 0002, false, "any user may write it"},
      {kOurs, 0001, true, nullptr},
      {kOurs, 0755, true, nullptr},
      {kOurs, 0775, false, nullptr},
      {kOurs, 01777, false, "any user may write it"},
      // Each owner.
      {0, 0644, false, nullptr},
      {0, 0666, false, "any user may write it"},
      {kOurs + 1, 0600, false, "it belongs to user 1001, not to console-server's (1000) or root"},
  };
  for (const auto& row : rows) {
    const std::optional<std::string> others =
        OtherWriters({row.owner, 7, row.mode, row.groupShared}, kOurs);
    EXPECT_EQ(others.has_value(), row.why != nullptr) << row.owner << " " << row.mode;
    if (others && row.why) {
      EXPECT_EQ(*others, row.why);
    }
  }
}

TEST(StrictModes, TheRefusalNamesTheFileAndTheFix) {
  const struct {
    std::uint32_t owner;
    std::uint32_t mode;
    const char* fix;  // nullptr: not refused
  } rows[] = {
      {1000, 0644, nullptr},
      {1000, 0666, "(chmod go-w /srv/my.rules)"},
      {1001, 0644, "(chown 1000 /srv/my.rules, and chmod go-w /srv/my.rules)"},
      {0, 01777, "(keep the rules in a folder of your own: in a shared folder anyone may create"},
  };
  for (const auto& row : rows) {
    const Result<> refused = RefuseOtherWriters("/srv/my.rules", {row.owner, 7, row.mode}, 1000);
    ASSERT_EQ(static_cast<bool>(refused), row.fix == nullptr) << row.owner;
    if (row.fix) {
      EXPECT_EQ(refused.why().find("/srv/my.rules may be written by another user"), 0u);
      EXPECT_NE(refused.why().find(row.fix), std::string::npos) << refused.why();
    }
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
    const char* fix;
  } rows[] = {
      {"say -> {args", "a { is not closed", "{{"},
      {"say -> {argz}", "{argz} is no field", "{{"},
      {"say => echo {argz}", "{argz} is no field", "{{"},
      {"say => env sh -c {args}", "the command shell sh", "sh note.sh {args}"},
      {"say => python3 -c {args}", "as code to run", "CONSOLE_ARGS"},
      {"say => awk {args}", "as its program", "awk SCRIPT {args}"},
  };
  for (const auto& row : rows) {
    const auto read = Read("# ok\nkick -> Kicked\n" + std::string(row.rule) + "\n");
    ASSERT_FALSE(read) << row.rule;
    EXPECT_NE(read.why().find("test.rules:3: say: "), std::string::npos) << read.why();
    EXPECT_NE(read.why().find(row.cause), std::string::npos) << read.why();
    EXPECT_NE(read.why().find(row.fix), std::string::npos) << read.why();
  }
}

TEST_F(RuleFile, ARuleFileItsFolderOrYourScriptThatOthersCanWriteIsRefused) {
  namespace fs = std::filesystem;
  Program("roll.py", true);
  const fs::perms othersWrite = fs::perms::others_write;
  const struct {
    const char* file;  // given write permission for others
    const char* says;
  } rows[] = {
      {"test.rules", "test.rules may be written by another user"},
      {".", "may be written by another user"},
      {"roll.py", "test.rules:1: roll: "},
  };
  for (const auto& row : rows) {
    const fs::path file = std::string(row.file) == "." ? folder_ : folder_ / row.file;
    ASSERT_TRUE(Read("roll => python3 roll.py {args}\n"));
    fs::permissions(file, othersWrite, fs::perm_options::add);
    const auto read = ReadScriptRules((folder_ / "test.rules").u8string());
    ASSERT_FALSE(read) << row.file;
    EXPECT_NE(read.why().find(row.says), std::string::npos) << read.why();
    EXPECT_NE(read.why().find("any user may write it (chmod go-w " + file.u8string() + ")"),
              std::string::npos)
        << read.why();
    fs::permissions(file, othersWrite, fs::perm_options::remove);
    EXPECT_TRUE(ReadScriptRules((folder_ / "test.rules").u8string())) << row.file;
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
  Program("note.sh", false);
  Program("stats.awk", false);
  const struct {
    const char* rule;
    bool read;
  } rows[] = {
      {"roll => roll.py {args}", true},
      {"roll => tools/dice {args}", true},
      {"roll => python3 -I roll.py {args}", true},
      {"roll => py.exe roll.py {args}", true},
      // A shell running a script of yours beside the rule file.
      {"roll => sh note.sh {args}", true},
      {"roll => bash ./note.sh {args}", true},
      {"roll => sh -c note.sh {args}", false},
      {"roll => sh -c note.sh note.sh {args}", false},
      {"roll => cmd note.sh {args}", false},
      // An interpreter whose program is an option's value, behind -- only.
      {"roll => awk -f stats.awk -- {args}", true},
      {"roll => awk -f stats.awk {args}", false},
      {"roll => sed -f stats.awk -- {args}", true},
      // A script elsewhere is not yours, nor is a program on the PATH.
      {"roll => python3 /opt/roll.py {args}", false},
      {"roll => sh /opt/note.sh {args}", false},
      {"roll => ls {args}", false},
  };
  for (const auto& row : rows) {
    const auto read = Read("roll -> x\n" + std::string(row.rule) + "\n");
    EXPECT_EQ(static_cast<bool>(read), row.read) << row.rule << (read ? "" : ": " + read.why());
  }
}

TEST_F(RuleFile, AMarkOnYourOwnCodeIsNotedAsNotNeeded) {
  Program("roll.py", true);
  const auto read = Read("roll =>! python3 roll.py {args}\nlist =>! ls\n");
  ASSERT_TRUE(read) << read.why();
  ASSERT_EQ(read->notes.size(), 1u);
  EXPECT_NE(read->notes[0].text.find("test.rules:1: roll: =>! is not needed"), std::string::npos)
      << read->notes[0].text;
}

TEST_F(RuleFile, AProgramNotThereNamesTheNearestFileBesideTheRules) {
  Program("weather.py", true);
  const struct {
    const char* rule;
    const char* near;  // nullptr: none told
    bool replyHint;    // whether "a canned reply takes ->" is told
  } rows[] = {
      {"w => weathr.py {args}", "did you mean weather.py?", false},
      {"w => WEATHER.PY.bak {args}", nullptr, false},
      {"w => weather.pyc {args}", "did you mean weather.py?", false},
      // Two letters off is near; three is not.
      {"w => wethr.py {args}", "did you mean weather.py?", false},
      {"w => wethr.pl {args}", nullptr, false},
      {"w => wether {args}", nullptr, true},
      {"w => /opt/wether", nullptr, false},
      {"w => python3 weathr.py {args}", nullptr, false},
  };
  for (const auto& row : rows) {
    const auto read = Read(std::string(row.rule) + "\n");
    if (!read) {
      // The interpreter's script is no file of yours: the refusal tells the near one.
      EXPECT_NE(read.why().find("weathr.py is not beside the rule file; did you mean "
                                "weather.py?"),
                std::string::npos)
          << read.why();
      continue;
    }
    ASSERT_EQ(read->notes.size(), 1u) << row.rule;
    const std::string& note = read->notes[0].text;
    EXPECT_EQ(note.find("did you mean") != std::string::npos, row.near != nullptr) << note;
    if (row.near) {
      EXPECT_NE(note.find(row.near), std::string::npos) << note;
    }
    EXPECT_EQ(note.find("a canned reply takes ->") != std::string::npos, row.replyHint) << note;
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

// The PATH of a test: one folder of the test's own, for as long as the object lives.
class PathFolder {
 public:
  explicit PathFolder(const std::filesystem::path& folder) {
    if (const char* path = std::getenv("PATH")) old_ = path;
    setenv("PATH", folder.c_str(), 1);
  }
  ~PathFolder() { setenv("PATH", old_.c_str(), 1); }

 private:
  std::string old_;
};

TEST_F(RuleFile, AFileOfTwoNamesIsTheKnownProgramItIsUnderTheOther) {
  // "perl" on the PATH, and a second name of it beside the rules.
  Program("bin/perl", true);
  const PathFolder path(folder_ / "bin");
  std::filesystem::create_hard_link(folder_ / "bin" / "perl", folder_ / "calc");
  const auto read = Read("calc => calc {args}\n");
  ASSERT_FALSE(read);
  EXPECT_NE(read.why().find("the interpreter calc (the same file as " +
                            (folder_ / "bin" / "perl").u8string() + ")"),
            std::string::npos)
      << read.why();
}

TEST_F(RuleFile, WhatRunsIsCheckedAgainJustBeforeTheRun) {
  Program("bin/perl", true);
  Program("greet.sh", true);
  const PathFolder path(folder_ / "bin");
  const std::filesystem::path perl = folder_ / "bin" / "perl";
  const struct {
    const char* rule;
    const char* file;  // beside the rules, made a name of perl once the rules are read
    bool hardLink;
    const char* now;
  } rows[] = {
      // Not there yet when read, then a link to perl.
      {"hello => hello {args}", "hello", false, "is now the interpreter perl, which is "},
      // Your own script when read, then replaced by a link, or by a second name of perl.
      {"greet => greet.sh {args}", "greet.sh", false, "is now the interpreter perl, which is "},
      {"greet => greet.sh {args}", "greet.sh", true,
       "is now the interpreter perl, the same file as "},
  };
  for (const auto& row : rows) {
    const auto read = Read(std::string(row.rule) + "\n");
    ASSERT_TRUE(read) << read.why();
    const ScriptRule& rule = read->value[0];
    ASSERT_TRUE(rule.checkBeforeStart);
    if (std::filesystem::exists(folder_ / row.file)) {
      EXPECT_TRUE(rule.checkBeforeStart()) << row.rule;
    }
    const std::filesystem::path file = folder_ / row.file;
    std::filesystem::remove(file);
    if (row.hardLink) {
      std::filesystem::create_hard_link(perl, file);
    } else {
      std::filesystem::create_symlink(perl, file);
    }
    const Result<> now = rule.checkBeforeStart();
    ASSERT_FALSE(now) << row.rule;
    EXPECT_NE(now.why().find("not run: " + file.u8string() + " " + row.now), std::string::npos)
        << now.why();
    EXPECT_NE(now.why().find("as its program"), std::string::npos) << now.why();
    EXPECT_NE(now.why().find("the rules stay"), std::string::npos) << now.why();
    // Back to what it was, for the next row.
    std::filesystem::remove(file);
    if (std::string(row.file) == "greet.sh") Program("greet.sh", true);
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
