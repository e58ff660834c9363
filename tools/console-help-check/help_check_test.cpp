#include "help_check.h"

#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Checked {
  bool ok;
  std::string report;
};

Checked Check(const std::string& text, const std::string& command = "spawn") {
  std::istringstream in(text);
  std::ostringstream out;
  const bool ok = CheckHelpText(in, command, out);
  return {ok, out.str()};
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(HelpCheck, ShowsTheLinesOfEachEntryAndWhoAsksForThem) {
  const Checked checked = Check(R"({"help": ["one", "two"], "help items": "three"})");
  EXPECT_TRUE(checked.ok);
  EXPECT_EQ(checked.report,
            "  \"help\" for /spawn, /spawn help, and /spawn help... without an entry of its own\n"
            "    | one\n"
            "    | two\n"
            "  \"help items\" for /spawn help items\n"
            "    | three\n");
}

TEST(HelpCheck, ShowsAnObjectEntryInKeyOrder) {
  const Checked checked = Check(R"({"help": {"b": "second", "a": "first", "B": "upper case"}})");
  EXPECT_TRUE(checked.ok);
  EXPECT_NE(checked.report.find("(an object: lines in key order)\n"
                                "    | upper case\n"
                                "    | first\n"
                                "    | second\n"),
            std::string::npos)
      << checked.report;
}

TEST(HelpCheck, StopsAtTheFirstLineThatIsNoString) {
  const Checked checked = Check(R"({"help": ["shown", ["not a line"], "never shown"]})");
  EXPECT_FALSE(checked.ok);
  EXPECT_NE(checked.report.find("    | shown\n"
                                "    line 2 fails: a line must be a string, but is array\n"),
            std::string::npos)
      << checked.report;
  EXPECT_EQ(checked.report.find("never shown"), std::string::npos);
}

TEST(HelpCheck, FailsForAnEntryThatIsOneNonString) {
  const Checked checked = Check(R"({"help": true})");
  EXPECT_FALSE(checked.ok);
  EXPECT_NE(checked.report.find("line 1 fails: a line must be a string, but is boolean"),
            std::string::npos)
      << checked.report;
}

TEST(HelpCheck, SaysWhichEntriesShowNothing) {
  const Checked checked = Check(R"({"help": [], "help a": null, "help b": {}})");
  EXPECT_TRUE(checked.ok);
  EXPECT_NE(checked.report.find("\"help\" for /spawn, /spawn help, and /spawn help... without an "
                                "entry of its own: shows nothing\n"),
            std::string::npos)
      << checked.report;
  EXPECT_NE(checked.report.find("\"help a\" for /spawn help a: shows nothing\n"),
            std::string::npos);
  EXPECT_NE(checked.report.find("\"help b\" for /spawn help b: shows nothing\n"),
            std::string::npos);
}

TEST(HelpCheck, WarnsAboutKeysNoChatLineAsksFor) {
  // The plugin never asks for such an entry, so its bad line can fail nothing.
  const Checked checked = Check(R"({"help": "ok", "usage": [1]})");
  EXPECT_TRUE(checked.ok);
  EXPECT_NE(checked.report.find("warning: \"usage\" is never shown: the plugin asks only for "
                                "arguments that begin with \"help\""),
            std::string::npos)
      << checked.report;
}

TEST(HelpCheck, WarnsAboutAMissingDefaultEntry) {
  const Checked checked = Check(R"({"help items": "torch"})", "spawn");
  EXPECT_TRUE(checked.ok);
  EXPECT_NE(checked.report.find("warning: no \"help\" entry, so /spawn, /spawn help, and /spawn "
                                "help... without an entry of its own show nothing"),
            std::string::npos)
      << checked.report;
}

TEST(HelpCheck, WarnsAboutTextAfterTheFirstValue) {
  const Checked checked = Check("{\"help\": \"one\"}\n  {\"help items\": \"two\"}\nmore");
  EXPECT_TRUE(checked.ok);
  EXPECT_NE(checked.report.find("warning: the game ignores everything after the first JSON value, "
                                "here from: {\"help items\": \"two\"}\n"),
            std::string::npos)
      << checked.report;
  EXPECT_EQ(Check("{\"help\": \"one\"}\r\n\t \n").report.find("warning"), std::string::npos);
}

TEST(HelpCheck, AcceptsAByteOrderMark) {
  const Checked checked = Check("\xEF\xBB\xBF{\"help\": \"one\"}");
  EXPECT_TRUE(checked.ok) << checked.report;
  EXPECT_NE(checked.report.find("    | one\n"), std::string::npos);
}

TEST(HelpCheck, ATopLevelNullShowsNothing) {
  const Checked checked = Check("null");
  EXPECT_TRUE(checked.ok);
  EXPECT_EQ(checked.report, "  null: shows nothing for any request\n");
}

TEST(HelpCheck, ATopLevelValueThatIsNoObjectFails) {
  const Checked checked = Check(R"("one line")");
  EXPECT_FALSE(checked.ok);
  EXPECT_EQ(checked.report,
            "  fails for every request: the top-level value is string, not an object\n");
}

TEST(HelpCheck, ReportsParseErrorsWithTheirPosition) {
  const Checked checked = Check("{\"help\": [\"one\",]}");
  EXPECT_FALSE(checked.ok);
  EXPECT_NE(
      checked.report.find("does not parse, so every request shows nothing: "
                          "[json.exception.parse_error.101] parse error at line 1, column 17"),
      std::string::npos)
      << checked.report;
}

TEST(HelpCheck, EscapesIllFormedBytesInTheParseError) {
  const Checked checked = Check("{\"help\": \"caf\xE9\"}");
  EXPECT_FALSE(checked.ok);
  EXPECT_NE(checked.report.find("ill-formed UTF-8 byte"), std::string::npos) << checked.report;
  EXPECT_NE(checked.report.find("caf\\xE9"), std::string::npos) << checked.report;
}

TEST(HelpCheck, NamesTheCommandOfAHelpFile) {
  EXPECT_EQ(CommandForHelpFile("spawnHelp.json"), "spawn");
  EXPECT_EQ(CommandForHelpFile(fs::path("team") / "joinHelp.json"), "team/join");
  EXPECT_EQ(CommandForHelpFile("spawn.json"), std::nullopt);
  // Windows finds a name in any case.
  EXPECT_EQ(CommandForHelpFile("spawnhelp.json"), "spawn");
  EXPECT_EQ(CommandForHelpFile("SPAWNHELP.JSON"), "SPAWN");
  EXPECT_EQ(CommandForHelpFile("spawnhelp.jso"), std::nullopt);
}

TEST(HelpCheck, ChecksAFolderAndItsSubfoldersInOrder) {
  const fs::path folder = fs::temp_directory_path() / "console-help-check-test";
  fs::remove_all(folder);
  WriteFile(folder / "timeHelp.json", R"({"help": "Sets the time of day."})");
  WriteFile(folder / "team" / "joinHelp.json", R"({"help": "Joins a team."})");
  WriteFile(folder / "kickHelp.json", R"({"help": [1]})");
  WriteFile(folder / "notes.json", "{}");
  WriteFile(folder / "readme.txt", "not json");

  std::ostringstream out;
  const CheckResult result = CheckHelpPath(folder / "", out);
  const std::string report = out.str();
  fs::remove_all(folder);

  EXPECT_EQ(result, CheckResult::kFails);
  const std::size_t kick = report.find("kickHelp.json: help of /kick\n");
  const std::size_t join = report.find("team/joinHelp.json: help of /team/join\n");
  const std::size_t time = report.find("timeHelp.json: help of /time\n");
  EXPECT_NE(kick, std::string::npos) << report;
  EXPECT_NE(join, std::string::npos) << report;
  EXPECT_NE(time, std::string::npos) << report;
  EXPECT_LT(kick, join);
  EXPECT_LT(join, time);
  EXPECT_NE(report.find("notes.json: skipped: the game reads only files named <command>Help.json"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("readme.txt"), std::string::npos) << report;
  EXPECT_NE(report.find("console-help-check-test: 3 help files, 1 failing\n"), std::string::npos)
      << report;
}

TEST(HelpCheck, ReportsAPathThatCannotBeRead) {
  std::ostringstream out;
  EXPECT_EQ(CheckHelpPath(fs::temp_directory_path() / "console-help-check-missing", out),
            CheckResult::kUnreadable);
  EXPECT_NE(out.str().find("console-help-check-missing: cannot read"), std::string::npos);
}

TEST(HelpCheck, WarnsAboutAFileNoCommandReads) {
  const fs::path file = fs::temp_directory_path() / "console-help-check-spawn.json";
  WriteFile(file, R"({"help": "one"})");
  std::ostringstream out;
  const CheckResult result = CheckHelpPath(file, out);
  fs::remove(file);
  EXPECT_EQ(result, CheckResult::kOk);
  EXPECT_NE(out.str().find("console-help-check-spawn.json: read by no command\n"
                           "  warning: the game reads only files named <command>Help.json\n"
                           "  \"help\" for /<command>, /<command> help"),
            std::string::npos)
      << out.str();
}

}  // namespace
