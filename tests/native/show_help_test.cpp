#include "relay/show_help.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_host.h"
#include "help/help_file.h"
#include "help/help_selection.h"

namespace {

using Lines = std::vector<std::string>;

struct HelpCase {
  const char* name;
  std::optional<std::string> file;  // nullopt: no help file at all
  std::string argument;
  bool logsRequest;     // "[Console] Show help [...] [...]" is written
  Lines chat;           // the lines shown, in order
  std::string problem;  // part of the logged problem line; empty when none is logged
};

const std::string kSpawn =
    R"({"help": ["Spawns a monster.", "Usage: /spawn <id>"], "help items": ["Spawns an item."]})";

// U+1F600, four bytes in UTF-8.
const std::string kEmoji = "\xf0\x9f\x98\x80";

void ExpectHelpOutcome(const HelpCase& c, const std::string& command = "spawn") {
  SCOPED_TRACE(c.name);
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  if (c.file) WriteHelpFile(command, *c.file);

  ShowHelp(command, c.argument);

  Lines expectedLog;
  if (c.logsRequest)
    expectedLog.push_back("[Console] Show help [" + command + "] [" + c.argument + "]");
  Lines logged = LoggedTexts();
  if (!c.problem.empty()) {
    ASSERT_FALSE(logged.empty());
    const std::string problemLine = logged.back();
    logged.pop_back();
    EXPECT_EQ(problemLine.rfind("[Console] Help file " + HelpFilePath(command) + ": ", 0), 0u)
        << problemLine;
    EXPECT_NE(problemLine.find(c.problem), std::string::npos) << problemLine;
  }
  EXPECT_EQ(logged, expectedLog);
  EXPECT_EQ(ChatLines, c.chat);
}

TEST(ShowHelp, ChoosesTheEntryByTheWholeArgument) {
  const HelpCase cases[] = {
      {"default entry", kSpawn, "help", true, {"Spawns a monster.", "Usage: /spawn <id>"}, ""},
      {"own entry", kSpawn, "help items", true, {"Spawns an item."}, ""},
      {"unknown argument falls back",
       kSpawn,
       "help other",
       true,
       {"Spawns a monster.", "Usage: /spawn <id>"},
       ""},
      {"no space is another argument",
       kSpawn,
       "helpitems",
       true,
       {"Spawns a monster.", "Usage: /spawn <id>"},
       ""},
      {"keys are case-sensitive",
       kSpawn,
       "help Items",
       true,
       {"Spawns a monster.", "Usage: /spawn <id>"},
       ""},
      {"null member does not fall back",
       R"({"help": ["a"], "help x": null})",
       "help x",
       true,
       {},
       ""},
      {"no default entry", R"({"help x": ["a"]})", "help", true, {}, ""},
      {"empty object", "{}", "help", true, {}, ""},
      {"top-level null", "null", "help", true, {}, ""},
  };
  for (const HelpCase& c : cases) ExpectHelpOutcome(c);
}

TEST(ShowHelp, ShowsEachShapeOfEntry) {
  const HelpCase cases[] = {
      {"single string", R"({"help": "one line"})", "help", true, {"one line"}, ""},
      {"empty array", R"({"help": []})", "help", true, {}, ""},
      {"object in key order",
       R"({"help": {"b": "second", "a": "first", "ab": "middle"}})",
       "help",
       true,
       {"first", "middle", "second"},
       ""},
      {"empty string line", R"({"help": ["", "x"]})", "help", true, {"", "x"}, ""},
      {"escapes decoded",
       R"({"help": ["tab\there \u00e9"]})",
       "help",
       true,
       {"tab\there \xc3\xa9"},
       ""},
      {"last duplicate key wins",
       R"({"help": ["old"], "help": ["new"]})",
       "help",
       true,
       {"new"},
       ""},
      {"trailing text ignored",
       kSpawn + R"( {"help": ["other"]} garbage)",
       "help items",
       true,
       {"Spawns an item."},
       ""},
      {"byte-order mark", "\xef\xbb\xbf" + kSpawn, "help items", true, {"Spawns an item."}, ""},
      {"line at the length bound",
       R"({"help": [")" + std::string(kMaxHelpLineBytes, 'x') + R"("]})",
       "help",
       true,
       {std::string(kMaxHelpLineBytes, 'x')},
       ""},
      {"longer lines cut",
       R"({"help": ["a", ")" + std::string(kMaxHelpLineBytes + 1, 'x') + R"(", ")" +
           std::string(kMaxHelpLineBytes - 1, 'x') + "\xc3\xa9" + R"("]})",
       "help",
       true,
       {"a", std::string(kMaxHelpLineBytes, 'x'), std::string(kMaxHelpLineBytes - 1, 'x')},
       LinesCutNote(2).text},
      {"a 4-byte character whole at the bound, and not split 1, 2 or 3 bytes before it",
       R"({"help": [")" + std::string(kMaxHelpLineBytes - 4, 'x') + kEmoji + R"(", ")" +
           std::string(kMaxHelpLineBytes - 3, 'x') + kEmoji + R"(", ")" +
           std::string(kMaxHelpLineBytes - 2, 'x') + kEmoji + R"(", ")" +
           std::string(kMaxHelpLineBytes - 1, 'x') + kEmoji + R"("]})",
       "help",
       true,
       {std::string(kMaxHelpLineBytes - 4, 'x') + kEmoji, std::string(kMaxHelpLineBytes - 3, 'x'),
        std::string(kMaxHelpLineBytes - 2, 'x'), std::string(kMaxHelpLineBytes - 1, 'x')},
       LinesCutNote(3).text},
      {"nested as deep as allowed",
       R"({"help": )" + std::string(kMaxHelpDepth - 1, '[') + std::string(kMaxHelpDepth - 1, ']') +
           "}",
       "help",
       true,
       {},
       "array"},
  };
  for (const HelpCase& c : cases) ExpectHelpOutcome(c);
}

TEST(ShowHelp, StopsAtTheFirstFailureWithoutEndingTheCaller) {
  const HelpCase cases[] = {
      {"missing file", std::nullopt, "help", false, {}, ""},
      {"empty file", "", "help", false, {}, "parse_error"},
      {"whitespace only", "  \n\t ", "help", false, {}, "parse_error"},
      {"malformed", R"({"help": ["a",)", "help", false, {}, "parse_error"},
      {"ill-formed UTF-8", "{\"help\": [\"\xff\"]}", "help", false, {}, "parse_error"},
      {"number too large", R"({"help": [1e999]})", "help", false, {}, "out_of_range"},
      {"top-level array", R"(["a", "b"])", "help", true, {}, "array"},
      {"top-level string", R"("a")", "help", true, {}, "string"},
      {"top-level number", "42", "help", true, {}, "number"},
      {"non-string line after a string",
       R"({"help": ["a", 2, "c"]})",
       "help",
       true,
       {"a"},
       "number"},
      {"number entry", R"({"help": 7})", "help", true, {}, "number"},
      {"boolean entry", R"({"help": true})", "help", true, {}, "boolean"},
      {"nested array line", R"({"help": [["a"]]})", "help", true, {}, "array"},
      {"null line", R"({"help": ["a", null]})", "help", true, {"a"}, "null"},
      {"nested too deep",
       R"({"help": ["a"], "x": )" + std::string(kMaxHelpDepth, '[') +
           std::string(kMaxHelpDepth, ']') + "}",
       "help",
       false,
       {},
       "nested deeper than " + std::to_string(kMaxHelpDepth) + " levels"},
      {"too deep even when never closed", std::string(1 << 20, '['), "help", false, {}, "nested"},
  };
  for (const HelpCase& c : cases) ExpectHelpOutcome(c);
}

TEST(ShowHelp, TakesTheCommandIntoThePathUnaltered) {
  EXPECT_EQ(HelpFilePath("spawn"), "nativePC/plugins/ConsoleHelp/spawnHelp.json");
  EXPECT_EQ(HelpFilePath(""), "nativePC/plugins/ConsoleHelp/Help.json");
  EXPECT_EQ(HelpFilePath("Admin/Ban"), "nativePC/plugins/ConsoleHelp/Admin/BanHelp.json");

  ExpectHelpOutcome({"empty command", R"({"help": ["general"]})", "help", true, {"general"}, ""},
                    "");
  ExpectHelpOutcome({"subfolder", R"({"help": ["banning"]})", "help", true, {"banning"}, ""},
                    "admin/ban");
}

// The lines "0", "1"... in an array, or as the values of an object's keys in the same order.
std::string EntryOfLines(std::size_t count, bool object = false) {
  std::string file = std::string(R"({"help": ["small"], "help all": )") + (object ? "{" : "[");
  for (std::size_t i = 0; i < count; ++i) {
    file += (i ? ",\"" : "\"") + (object ? std::to_string(10000 + i) + "\": \"" : "") +
            std::to_string(i) + "\"";
  }
  return file + (object ? "}}" : "]}");
}

TEST(ShowHelp, ShowsAtMostTheLineBoundAndLogsHowManyWereLeftOut) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  Lines expected;
  for (std::size_t i = 0; i < kMaxHelpLines; ++i) expected.push_back(std::to_string(i));
  const std::string bound = std::to_string(kMaxHelpLines);
  const std::string leftOut =
      "[Console] Help file nativePC/plugins/ConsoleHelp/bigHelp.json: the "
      "entry has more than " +
      bound + " lines: showed the first " + bound + ", left out ";
  const std::string members = " members (a key given again counted again)";
  const struct {
    std::string file;
    Lines logged;
  } rows[] = {
      {EntryOfLines(kMaxHelpLines + 250),
       {"[Console] Show help [big] [help all]", leftOut + "250"}},
      {EntryOfLines(kMaxHelpLines + 1), {"[Console] Show help [big] [help all]", leftOut + "1"}},
      {EntryOfLines(kMaxHelpLines), {"[Console] Show help [big] [help all]"}},
      {EntryOfLines(kMaxHelpLines + 1, true),
       {"[Console] Show help [big] [help all]", leftOut + "1" + members}},
      {EntryOfLines(kMaxHelpLines, true), {"[Console] Show help [big] [help all]"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.file.substr(0, 40) + " " + std::to_string(row.file.size()) + " bytes");
    ResetFakeHost(game);
    WriteHelpFile("big", row.file);
    ShowHelp("big", "help all");
    EXPECT_EQ(ChatLines, expected);
    EXPECT_EQ(LoggedTexts(), row.logged);
  }

  // An object entry is cut the same way, and what lies past the bound is never looked at; a kept
  // key given again (the first or the last kept) takes its last value, and a key left out counts
  // each time it is given.
  ResetFakeHost(game);
  std::string object = R"({"help": {)";
  for (std::size_t i = 0; i < kMaxHelpLines; ++i)
    object += "\"k" + std::to_string(1000 + i) + "\": \"x\",";
  const std::string lastKept = "\"k" + std::to_string(1000 + kMaxHelpLines - 1) + "\"";
  WriteHelpFile("big", object + R"("z1": 1, "k1000": "again", "z2": "y", "z1": 2, )" + lastKept +
                           R"(: "again"}})");
  ShowHelp("big", "help");
  EXPECT_EQ(ChatLines.size(), kMaxHelpLines);
  EXPECT_EQ(ChatLines.front(), "again");
  EXPECT_EQ(ChatLines.back(), "again");
  EXPECT_EQ(LoggedTexts().back(), leftOut + "3" + members);
}

TEST(ShowHelp, LeavesAFileAboveTheSizeBoundUnread) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  // Valid JSON in both: only the size tells them apart.
  const std::string head = R"({"help": ["fits"]})";
  WriteHelpFile("edge", head + std::string(kMaxHelpFileBytes - head.size(), ' '));
  ShowHelp("edge", "help");
  EXPECT_EQ(ChatLines, (Lines{"fits"}));

  ResetFakeHost(game);
  WriteHelpFile("edge", head + std::string(kMaxHelpFileBytes - head.size() + 1, ' '));
  ShowHelp("edge", "help");
  EXPECT_TRUE(ChatLines.empty());
  EXPECT_EQ(LoggedTexts(), (Lines{"[Console] Help file nativePC/plugins/ConsoleHelp/edgeHelp.json: "
                                  "not read: " +
                                  std::to_string(kMaxHelpFileBytes + 1) + " bytes, more than the " +
                                  std::to_string(kMaxHelpFileBytes) + " a help file may have"}));

  // A file that grows after its size was taken is read no further than the bound.
  std::istringstream grown(head + std::string(kMaxHelpFileBytes, ' '));
  EXPECT_EQ(ReadHelpText(grown, head.size()).why(),
            "it grew past the " + std::to_string(kMaxHelpFileBytes) +
                " bytes a help file may have while it was read");
  EXPECT_EQ(grown.tellg(), static_cast<std::streamoff>(kMaxHelpFileBytes + 1));
  std::istringstream fits(head);
  const Result<std::string> text = ReadHelpText(fits, 0);
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, head);
}

TEST(ShowHelp, QuotesAtMostAFewHundredBytesOfAParseError) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  WriteHelpFile("blank", std::string(1 << 20, ' ') + "x");
  ShowHelp("blank", "help");
  EXPECT_TRUE(ChatLines.empty());
  ASSERT_EQ(LoggedLines.size(), 1u);
  const std::string& line = LoggedLines[0].text;
  EXPECT_LT(line.size(), 500u) << line.size();
  EXPECT_EQ(line.rfind("[Console] Help file nativePC/plugins/ConsoleHelp/blankHelp.json: "
                       "[json.exception.parse_error.101]",
                       0),
            0u)
      << line.substr(0, 200);
  EXPECT_NE(line.find("... [cut, "), std::string::npos) << line.substr(0, 200);
}

TEST(ShowHelp, RefusesCommandsOutsideTheFolderWithoutOpeningAnything) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  // Files the commands below would reach without the rule.
  const std::string outside = R"({"help": ["outside"]})";
  std::ofstream("xHelp.json") << outside;
  std::ofstream("nativePC/xHelp.json") << outside;
  WriteHelpFile("COM1.", outside);
  WriteHelpFile("a/aux/b", outside);

  for (const std::string command :
       {"../../../x", "..\\..\\..\\x", "../../x", "COM1.", "a/aux/b", "/x", "C:x"}) {
    SCOPED_TRACE(command);
    ResetFakeHost(game);
    ShowHelp(command, "help");
    EXPECT_TRUE(ChatLines.empty());
    ASSERT_EQ(LoggedLines.size(), 1u);
    EXPECT_EQ(LoggedLines[0].text.rfind(
                  "[Console] Help file " + HelpFilePath(command) + ": not read: a ", 0),
              0u)
        << LoggedLines[0].text;
  }
}

TEST(ShowHelp, AFolderInPlaceOfAHelpFileShowsAndLogsNothing) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  std::filesystem::create_directories(HelpFilePath("dir"));
  ShowHelp("dir", "help");
  EXPECT_TRUE(ChatLines.empty());
  EXPECT_TRUE(LoggedLines.empty()) << LoggedTexts()[0];
}

TEST(ShowHelp, ReadsTheFileAnewForEveryRequest) {
  FakeGame game;
  ResetFakeHost(game);
  EnterFreshHelpFolder();
  WriteHelpFile("time", R"({"help": ["before"]})");
  ShowHelp("time", "help");
  WriteHelpFile("time", R"({"help": ["after"]})");
  ShowHelp("time", "help");
  EXPECT_EQ(ChatLines, (Lines{"before", "after"}));
}

}  // namespace
