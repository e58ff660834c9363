#include "help_check.h"
#include "help/help_mark.h"
#include "parse_hint.h"

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "help/help_file.h"
#include "help/help_path.h"
#include "help/help_selection.h"

namespace fs = std::filesystem;

namespace {

struct Checked {
  bool ok;
  std::string report;
};

Checked Check(const std::string& text, const std::string& command = "spawn") {
  std::istringstream in(text);
  std::ostringstream out;
  const bool ok = CheckHelpText(in, command, out) == CheckGrade::kOk;
  return {ok, out.str()};
}

std::size_t Count(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos;
       at = text.find(piece, at + piece.size())) {
    ++count;
  }
  return count;
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// Each piece of shown appears in the report, in this order; no piece of absent appears.
void ExpectReport(const std::string& report, const std::vector<std::string>& shown,
                  const std::vector<std::string>& absent) {
  std::size_t at = 0;
  for (const std::string& piece : shown) {
    const std::size_t found = report.find(piece, at);
    EXPECT_NE(found, std::string::npos) << "not found in order: " << piece << "\nin:\n" << report;
    if (found != std::string::npos) at = found + piece.size();
  }
  for (const std::string& piece : absent)
    EXPECT_EQ(report.find(piece), std::string::npos) << piece << "\nin:\n" << report;
}

TEST(HelpCheck, ReportsWhatEachEntryShowsAndWhatFails) {
  const std::string mark = "\"" + std::string(kHelpMarkKey) + "\": ";
  struct Row {
    std::string name;
    std::string text;
    bool ok;
    std::vector<std::string> shown;
    std::vector<std::string> absent = {};
    bool whole = false;  // shown is the whole report
  };
  const Row rows[] = {
      {"each entry's lines and who asks for them",
       R"({"help": ["one", "two"], "help items": "three"})",
       true,
       {"  \"help\" for /spawn, /spawn help, and /spawn help... without an entry of its own\n"
        "    | one\n"
        "    | two\n"
        "  \"help items\" for /spawn help items\n"
        "    | three\n"},
       {},
       true},
      {"an object entry in key order",
       R"({"help": {"b": "second", "a": "first", "B": "upper case"}})",
       true,
       {"(an object: lines in key order)\n    | upper case\n    | first\n    | second\n"}},
      {"the check stops at the first line that is no string",
       "{\n  \"help\": [\"shown\",\n    [\"not a line\"], \"never shown\"]}",
       false,
       {"    | shown\n    chat line 2 of \"help\" (file line 3) fails: a line must be a string, "
        "but is array\n"},
       {"never shown"}},
      // Chat lines of an object come in key order; of two "help" entries the plugin reads the
      // last.
      {"the file line of a failing line, and duplicate keys",
       "{\"help\": [1],\n\"help\": {\n  \"b\": 2,\n  \"a\": \"first\"\n},\n\"help x\": 3.5}",
       false,
       {"  warning: \"help\" appears 2 times (file lines 1, 2): the plugin reads only the last "
        "one\n",
        "    | first\n    chat line 2 of \"help\" (file line 3) fails",
        "chat line 1 of \"help x\" (file line 6) fails"}},
      {"file lines ended with CR LF are counted as with LF",
       "{\r\n\"help\": [\"shown\",\r\n  1],\r\n\"help x\": [\r\n\r\n2]\r\n}",
       false,
       {"    | shown\n    chat line 2 of \"help\" (file line 3) fails",
        "chat line 1 of \"help x\" (file line 6) fails"}},
      {"an entry that is one value but no string",
       R"({"help": true})",
       false,
       {"chat line 1 of \"help\" (file line 1) fails: a line must be a string, but is boolean"}},
      {"entries that show nothing",
       R"({"help": [], "help a": null, "help b": {}})",
       true,
       {"\"help\" for /spawn, /spawn help, and /spawn help... without an entry of its own: shows "
        "nothing\n",
        "\"help a\" for /spawn help a: shows nothing\n",
        "\"help b\" for /spawn help b: shows nothing\n"}},
      // The plugin never asks for such an entry, so its bad line can fail nothing.
      {"a key no chat line asks for",
       R"({"help": "ok", "usage": [1]})",
       true,
       {"warning: \"usage\" is never shown: the plugin asks only for arguments that begin with "
        "\"help\""}},
      {"no default entry",
       R"({"help items": "torch"})",
       true,
       {"warning: no \"help\" entry, so /spawn, /spawn help, and /spawn help... without an entry "
        "of its own show nothing"}},
      {"console-server's mark from a rule file",
       "{" + mark + "\"" + HelpMarkValue("/srv/my.rules") + "\", \"help\": \"ok\"}",
       true,
       {"    | ok\n"},
       {"warning"}},
      {"console-server's mark of old, without a rule file",
       "{" + mark + "\"" + std::string(kHelpMarkWriter) + "\", \"help\": \"ok\"}",
       true,
       {},
       {"warning"}},
      {"a member of another writer",
       "{" + mark + "\"someone else\", \"help\": \"ok\"}",
       true,
       {"warning: \"written by\" is never shown"}},
      {"text after the first value",
       "{\"help\": \"one\"}\n  {\"help items\": \"two\"}\nmore",
       true,
       {"warning: the game ignores everything after the first JSON value, here from: "
        "{\"help items\": \"two\"}\n"}},
      {"white space after the first value", "{\"help\": \"one\"}\r\n\t \n", true, {}, {"warning"}},
      {"a byte-order mark", "\xEF\xBB\xBF{\"help\": \"one\"}", true, {"    | one\n"}},
      {"a top-level null", "null", true, {"  null: shows nothing for any request\n"}, {}, true},
      {"a top-level value that is no object",
       R"("one line")",
       false,
       {"  fails for every request: the top-level value is string, not an object\n"},
       {},
       true},
      {"ill-formed bytes in the parse error",
       "{\"help\": \"caf\xE9\"}",
       false,
       {"ill-formed UTF-8 byte", "caf\\xe9"}},
      // A line that would return to the line start, erase it and fake an "ok", or hide what
      // follows; U+009B is a terminal's CSI as ESC [ is, U+0085 a line break; U+0080 and U+009F
      // end the C1 range. Keys are shown the same way.
      {"control bytes of lines and keys",
       R"({"help": ["\r\u001b[2K  ok", "\u001b[8m\u0007\u007f", "\u009b2J\u0085\u00e9",
                   "\u0080\u009f"], "help \u009b\u007f": 1})",
       false,
       {"    | \\x0d\\x1b[2K  ok\n    | \\x1b[8m\\x07\\x7f\n"
        "    | \\xc2\\x9b2J\\xc2\\x85\xC3\xA9\n"
        "    | \\xc2\\x80\\xc2\\x9f\n",
        "\"help \\xc2\\x9b\\x7f\" for /spawn help \\xc2\\x9b\\x7f\n"},
       {"\x1b", "\x7f", "\xc2"}},
      // Past the C1 range (U+00A0, U+00BF) a letter or sign prints as it is.
      {"the first letters past the C1 range",
       R"({"help": "\u00a0\u00bf"})",
       true,
       {"    | \xC2\xA0\xC2\xBF\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Checked checked = Check(row.text);
    EXPECT_EQ(checked.ok, row.ok) << checked.report;
    if (row.whole) {
      EXPECT_EQ(checked.report, row.shown.at(0));
    } else {
      ExpectReport(checked.report, row.shown, row.absent);
    }
  }
}

TEST(HelpCheck, EscapesC1AndBidirectionalControlsInLinesAndKeys) {
  // Each range at both ends, and the characters beside it, which stay as they are. A
  // bidirectional control would make a terminal show the report reordered.
  const std::pair<std::string, std::string> rows[] = {
      {"\xC2\x80", "\\xc2\\x80"},
      {"\xC2\x9F", "\\xc2\\x9f"},
      {"\xC2\xA0", "\xC2\xA0"},
      {"\xE2\x80\x8D", "\xE2\x80\x8D"},
      {"\xE2\x80\x8E", "\\xe2\\x80\\x8e"},
      {"\xE2\x80\x8F", "\\xe2\\x80\\x8f"},
      {"\xE2\x80\x90", "\xE2\x80\x90"},
      {"\xD8\x9B", "\xD8\x9B"},
      {"\xD8\x9C", "\\xd8\\x9c"},
      {"\xD8\x9D", "\xD8\x9D"},
      {"\xE2\x80\x8A", "\xE2\x80\x8A"},
      {"\xE2\x80\x8B", "\\xe2\\x80\\x8b"},
      {"\xE2\x80\xA7", "\xE2\x80\xA7"},
      {"\xE2\x80\xA8", "\\xe2\\x80\\xa8"},
      {"\xE2\x80\xA9", "\\xe2\\x80\\xa9"},
      {"\xE2\x80\xAA", "\\xe2\\x80\\xaa"},
      {"\xE2\x80\xAE", "\\xe2\\x80\\xae"},
      {"\xE2\x80\xAF", "\xE2\x80\xAF"},
      {"\xE2\x81\xA5", "\xE2\x81\xA5"},
      {"\xE2\x81\xA6", "\\xe2\\x81\\xa6"},
      {"\xE2\x81\xA9", "\\xe2\\x81\\xa9"},
      {"\xE2\x81\xAA", "\xE2\x81\xAA"},
  };
  for (const auto& [character, shown] : rows) {
    SCOPED_TRACE(shown);
    const Checked checked =
        Check("{\"help\": \"a" + character + "b\", \"help " + character + "\": \"c\"}");
    EXPECT_TRUE(checked.ok) << checked.report;
    EXPECT_NE(checked.report.find("    | a" + shown + "b\n"), std::string::npos) << checked.report;
    EXPECT_NE(checked.report.find("\"help " + shown + "\" for /spawn help " + shown + "\n"),
              std::string::npos)
        << checked.report;
  }
}

TEST(HelpCheck, QuotesTheStartOfWhatFollowsTheFirstValue) {
  // A long text is quoted in part: a text as long as that part whole, one byte more cut to it.
  const auto quoted = [](std::size_t length) {
    const std::string report = Check("{\"help\": \"one\"} " + std::string(length, 'a')).report;
    const std::string here = "here from: ";
    const std::size_t from = report.find(here) + here.size();
    return from < report.size() ? report.substr(from, report.find('\n', from) - from) : "";
  };
  const std::size_t most = kQuotedTextLength;
  EXPECT_EQ(quoted(1000).size(), most);
  for (const std::size_t length : {most, most + 1})
    EXPECT_EQ(quoted(length), std::string(most, 'a'));
}

TEST(HelpCheck, NamesTheFirstFewDuplicateKeysAndPlacesAndCountsTheRest) {
  const auto duplicated = [](std::size_t keys, std::size_t copies) {
    std::string file = "{";
    for (std::size_t k = 0; k < keys; ++k) {
      for (std::size_t c = 0; c < copies; ++c) file += "\"k" + std::to_string(k) + "\": 0,\n";
    }
    return Check(file + "\"help\": \"x\"}").report;
  };
  const std::string many = duplicated(100, 100);
  const std::size_t keysNamed = kMostDuplicatesNamed;
  const std::size_t placesNamed = kMostDuplicatesNamed;
  EXPECT_EQ(Count(many, " times (file lines"), keysNamed);
  const std::string firstKey = many.substr(0, many.find('\n'));
  EXPECT_EQ(Count(firstKey, ", "), placesNamed) << firstKey;
  EXPECT_NE(firstKey.find(", ...)"), std::string::npos) << firstKey;
  EXPECT_NE(many.find("warning: " + std::to_string(100 - keysNamed) +
                      " more keys appear more than once\n"),
            std::string::npos)
      << many;
  for (const std::size_t keys : {keysNamed, keysNamed + 1}) {
    SCOPED_TRACE(keys);
    const std::string report = duplicated(keys, 2);
    EXPECT_EQ(Count(report, " times (file lines"), keysNamed);
    EXPECT_EQ(Count(report, "more keys"), keys - keysNamed);
    EXPECT_EQ(Count(report, "warning: 1 more keys appear more than once\n"), keys - keysNamed);
  }
  for (const std::size_t copies : {placesNamed, placesNamed + 1}) {
    SCOPED_TRACE(copies);
    const std::string report = duplicated(1, copies);
    EXPECT_EQ(Count(report, ", ...)"), copies - placesNamed) << report;
  }
}

TEST(HelpCheck, ChecksOnlyTheFirstEntriesOfAFileOfVeryMany) {
  const auto entries = [](std::size_t count) {
    std::string file = "{\"help\": \"x\"";
    for (std::size_t i = 1; i < count; ++i)
      file += ", \"help " + std::to_string(10000 + i) + "\": \"x\"";
    return Check(file + "}").report;
  };
  const std::string many = entries(1000);
  const std::size_t checked = kMaxCheckedEntries;
  EXPECT_EQ(Count(many, "    | x\n"), checked);
  EXPECT_NE(many.find("warning: " + std::to_string(1000 - checked) + " more entries not checked\n"),
            std::string::npos)
      << many;
  for (const std::size_t count : {checked, checked + 1}) {
    SCOPED_TRACE(count);
    const std::string report = entries(count);
    EXPECT_EQ(Count(report, "    | x\n"), checked);
    EXPECT_EQ(Count(report, "more entries"), count - checked);
    EXPECT_EQ(Count(report, "warning: 1 more entries not checked\n"), count - checked);
  }
}

TEST(HelpCheck, ReportsParseErrorsWithTheirPositionAndTheLikelyMistake) {
  struct Row {
    std::string text;
    ParseMistake mistake;
    std::size_t byte;      // where the mistake is
    const char* position;  // where the JSON library says reading stopped
  };
  const Row rows[] = {
      {R"({"help": ["one",]})", ParseMistake::kTrailingComma, 15, "line 1, column 17"},
      {"{\"help\": \"x\",\n}", ParseMistake::kTrailingComma, 12, "line 2, column 1"},
      {"{\"help\": [1 ,\n ]}", ParseMistake::kTrailingComma, 12, "line 2, column 2"},
      {"\xEF\xBB\xBF{\"help\": [1,]}", ParseMistake::kTrailingComma, 14, "line 1, column 16"},
      {std::string("\xFF\xFE{\0\"\0", 6), ParseMistake::kUtf16, 0, "line 1, column 1"},
      {std::string("\xFE\xFF\0{", 4), ParseMistake::kUtf16, 0, "line 1, column 1"},
      // Without a byte-order mark, as PowerShell writes it: a zero byte in every other byte.
      {std::string("{\0\"\0h\0e\0l\0p\0\"\0:\0", 16), ParseMistake::kUtf16, 0, "line 1, column 2"},
      {std::string("\0{\0\"\0h", 6), ParseMistake::kUtf16, 0, "line 1, column 1"},
      // The first 16 bytes decide: a last pair that breaks the pattern, one past them that does.
      {std::string("{\0\"\0h\0e\0l\0p\0\"\0:x", 16), ParseMistake::kNone, 0, "line 1, column 2"},
      {std::string("{\0\"\0h\0e\0l\0p\0\"\0:\0xx", 18), ParseMistake::kUtf16, 0,
       "line 1, column 2"},
      // One zero byte is no UTF-16.
      {std::string("{\"h\0", 4), ParseMistake::kNone, 0, "line 1, column 4"},
      {"{'help': 'x'}", ParseMistake::kSingleQuotes, 1, "line 1, column 2"},
      {R"({"help": 'x'})", ParseMistake::kSingleQuotes, 9, "line 1, column 10"},
      {"// note\n{}", ParseMistake::kComment, 0, "line 1, column 1"},
      {R"({"help": "x" /* note */})", ParseMistake::kComment, 13, "line 1, column 14"},
      {"# note\n{}", ParseMistake::kComment, 0, "line 1, column 1"},
      // Other mistakes get no guess.
      {R"({"help": ["one",, "two"]})", ParseMistake::kNone, 0, "line 1, column 17"},
      {R"({"help": "x" / 2})", ParseMistake::kNone, 0, "line 1, column 14"},
      {R"({"help" "x"})", ParseMistake::kNone, 0, "line 1, column 11"},
      {"", ParseMistake::kNone, 0, "line 1, column 1"},
      // What follows the first value is never read.
      {R"({"help": "x"} // note)", ParseMistake::kNone, 0, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const LikelyMistake likely = FindLikelyMistake(row.text);
    EXPECT_EQ(likely.mistake, row.mistake);
    EXPECT_EQ(likely.byte, row.byte);
    const Checked checked = Check(row.text);
    EXPECT_EQ(checked.ok, row.position == nullptr) << checked.report;
    if (row.position != nullptr) {
      EXPECT_NE(checked.report.find("does not parse, so every request shows nothing: "
                                    "[json.exception.parse_error.101] parse error at " +
                                    std::string(row.position) + ":"),
                std::string::npos)
          << checked.report;
    }
    const std::string hint = "  most likely: " + MistakeHint(likely, row.text) + "\n";
    EXPECT_EQ(checked.report.find(hint) != std::string::npos, row.mistake != ParseMistake::kNone)
        << checked.report;
  }
  EXPECT_NE(MistakeHint({ParseMistake::kTrailingComma, 12}, "{\"help\": [1 ,\n ]}")
                .find("(at line 1, column 13)"),
            std::string::npos);
}

// A fresh folder below the temporary folder, removed again by the caller.
fs::path FreshFolder(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

std::string CheckPath(const fs::path& path, CheckGrade& result) {
  std::ostringstream out;
  result = CheckHelpFilesAt(path, out);
  return out.str();
}

TEST(HelpCheck, ChecksEachFileOfAFolderAsThePluginReadsIt) {
  const std::string fits = R"({"help": "ok"})";
  const std::string epee =
      "\xC3\xA9p\xC3\xA9"
      "e";
  struct Row {
    std::string folder;  // below the temporary folder
    std::vector<std::pair<std::string, std::string>> files;
    std::string checked;  // below the folder; empty for the folder itself
    CheckGrade grade;
    std::vector<std::string> shown;
    std::vector<std::string> absent = {};
  };
  const Row rows[] = {
      {"console-help-check-test",
       {{"timeHelp.json", R"({"help": "Sets the time of day."})"},
        {"team/joinHelp.json", R"({"help": "Joins a team."})"},
        {"kickHelp.json", R"({"help": [1]})"},
        {"notes.json", "{}"},
        {"readme.txt", "not json"}},
       "",
       CheckGrade::kFails,
       {"notes.json: skipped: the game reads only files named <command>Help.json",
        "kickHelp.json: help of /kick\n", "team/joinHelp.json: help of /team/join\n",
        "timeHelp.json: help of /time\n", "console-help-check-test: 3 help files, 1 failing\n"},
       {"readme.txt"}},
      {"console-help-check-missing",
       {},
       "spawnHelp.json",
       CheckGrade::kUnreadable,
       {"spawnHelp.json: cannot read"}},
      {"console-help-check-spawn",
       {{"spawn.json", R"({"help": "one"})"}},
       "spawn.json",
       CheckGrade::kOk,
       {"spawn.json: read by no command\n"
        "  warning: the game reads only files named <command>Help.json\n"
        "  \"help\" for /<command>, /<command> help"}},
      // Windows folds the case of letters beyond ASCII too.
      {"console-help-check-case",
       {{"warphelp.json", R"({"help": "Warps you."})"},
        {"kickHelp.json", R"({"help": "Kicks."})"},
        {"KICKHELP.JSON", R"({"help": "Kicks too."})"},
        {"\xC3\x89p\xC3\x89"
         "eHelp.json",
         R"({"help": "Fences."})"},
        {epee + "Help.json", R"({"help": "Fences too."})"}},
       "",
       CheckGrade::kOk,
       {"KICKHELP.JSON, whose name differs in case only; the game reads one of the two",
        "warphelp.json: help of /warp\n"
        "  note: the name ends in help.json, not Help.json; Windows ignores the case of file "
        "names, so the game reads it all the same\n",
        "    | Warps you.\n",
        epee + "Help.json: help of /" + epee + "\n  \"help\" for /" + epee + ", /" + epee +
            " help, and /" + epee +
            " help... without an entry of its own\n"
            "    | Fences too.\n"
            "  ok\n"
            "  warning: on Windows this is the same file as ",
        "console-help-check-case: 5 help files, all ok\n"},
       {"skipped"}},
      {"console-help-check-refused",
       {{"COM1.Help.json", R"({"help": "Never read."})"},
        {"aux/kickHelp.json", R"({"help": "Never read."})"}},
       "",
       CheckGrade::kFails,
       {std::string("COM1.Help.json: help of /COM1.\n  the plugin refuses to read it: ") +
            kNamesADevice + "\n  FAILS\n",
        "aux/kickHelp.json: help of /aux/kick\n  the plugin refuses"},
       {"Never read."}},
      {"console-help-check-size",
       {{"fitsHelp.json", fits + std::string(kMaxHelpFileBytes - fits.size(), ' ')},
        {"tooBigHelp.json", fits + std::string(kMaxHelpFileBytes - fits.size() + 1, ' ')}},
       "",
       CheckGrade::kFails,
       {"fitsHelp.json: help of /fits\n  \"help\"",
        "tooBigHelp.json: help of /tooBig\n  the plugin does not read it: " +
            std::to_string(kMaxHelpFileBytes + 1) + " bytes, more than the " +
            std::to_string(kMaxHelpFileBytes) + " a help file may have\n  FAILS\n"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    const fs::path folder = FreshFolder(row.folder);
    for (const auto& [name, text] : row.files) WriteFile(folder / fs::u8path(name), text);
    CheckGrade grade;
    const std::string report = CheckPath(folder / fs::u8path(row.checked), grade);
    fs::remove_all(folder);
    EXPECT_EQ(grade, row.grade) << report;
    ExpectReport(report, row.shown, row.absent);
  }
}

TEST(HelpCheck, FindsTheHelpFolderInAGameFolderOrAPluginsFolder) {
  const fs::path game = FreshFolder("console-help-check-game");
  const fs::path help = game / "nativePC" / "plugins" / "ConsoleHelp";
  WriteFile(help / "kickHelp.json", R"({"help": "Kicks."})");
  WriteFile(help / "team" / "joinHelp.json", R"({"help": "Joins."})");
  WriteFile(game / "otherHelp.json", R"({"help": "Not in the help folder."})");

  for (const fs::path& start : {game, game / "nativePC" / "plugins", help}) {
    SCOPED_TRACE(start.string());
    CheckGrade result;
    const std::string report = CheckPath(start, result);
    EXPECT_EQ(result, CheckGrade::kOk);
    EXPECT_NE(report.find("kickHelp.json: help of /kick\n"), std::string::npos) << report;
    EXPECT_NE(report.find("joinHelp.json: help of /team/join\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("nativePC/plugins/ConsoleHelp/kick\n"), std::string::npos) << report;
    EXPECT_EQ(report.find("other"), std::string::npos) << report;
    EXPECT_NE(report.find("ConsoleHelp: 2 help files, all ok\n"), std::string::npos) << report;
    if (start != help) {
      EXPECT_EQ(report.rfind(start.generic_u8string() + ": the help folder is " +
                                 help.generic_u8string() + "\n",
                             0),
                0u)
          << report;
    }
  }

  // Folder names in any case, as the game finds them on Windows.
  const fs::path lower = FreshFolder("console-help-check-game-lower");
  WriteFile(lower / "NATIVEPC" / "Plugins" / "consolehelp" / "kickHelp.json",
            R"({"help": "Kicks."})");
  CheckGrade result;
  const std::string report = CheckPath(lower, result);
  fs::remove_all(game);
  fs::remove_all(lower);
  EXPECT_NE(report.find("consolehelp/kickHelp.json: help of /kick\n"), std::string::npos) << report;
}

TEST(HelpCheck, ListsWhatThePluginCannotReadAndEscapesEveryName) {
  const fs::path folder = FreshFolder("console-help-check-unreadable");
  // A name that would colour the report and split its line.
  WriteFile(folder / "a\x1b[31m\nbHelp.json", R"({"help": "ok"})");
  // An endless file, which the plugin reads up to its bound; a pipe, which would block it.
  fs::create_symlink("/dev/zero", folder / "zeroHelp.json");
  ASSERT_EQ(mkfifo((folder / "pipeHelp.json").c_str(), 0600), 0);
  CheckGrade result;
  const std::string report = CheckPath(folder, result);
  fs::remove_all(folder);

  EXPECT_EQ(result, CheckGrade::kUnreadable);
  const std::string command = "a\\x1b[31m\\x0ab";
  EXPECT_NE(report.find(command + "Help.json: help of /" + command + "\n  \"help\" for /" +
                        command + ", /" + command + " help, and"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find('\x1b'), std::string::npos) << report;
  EXPECT_NE(report.find("pipeHelp.json: cannot read: not a file or folder\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("zeroHelp.json: help of /zero\n  the plugin does not read it: it grew past "
                        "the " +
                        std::to_string(kMaxHelpFileBytes) +
                        " bytes a help file may have while it was read\n  FAILS\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("console-help-check-unreadable: 3 help files, 2 failing\n"),
            std::string::npos)
      << report;
}

TEST(HelpCheck, WarnsAboutALineLongerThanTheChatShows) {
  for (const std::size_t bytes : {kMaxHelpLineBytes, kMaxHelpLineBytes + 1}) {
    SCOPED_TRACE(bytes);
    const Checked checked = Check(R"({"help": ")" + std::string(bytes, 'x') + "\"}");
    EXPECT_TRUE(checked.ok);
    EXPECT_NE(checked.report.find("    | " + std::string(kMaxHelpLineBytes, 'x') + "\n"),
              std::string::npos);
    EXPECT_EQ(Count(checked.report, "    warning: " + LinesCutNote(1).text),
              bytes - kMaxHelpLineBytes)
        << checked.report.substr(kMaxHelpLineBytes);
  }
}

TEST(HelpCheck, WarnsAboutAnEntryLongerThanARequestShows) {
  const std::string bound = std::to_string(kMaxHelpLines);
  const std::string last = "    | " + std::to_string(kMaxHelpLines - 1) + "\n";
  for (const std::size_t extra : {20, 1, 0}) {
    SCOPED_TRACE(extra);
    std::string lines;
    for (std::size_t i = 0; i < kMaxHelpLines + extra; ++i)
      lines += (i ? ",\"" : "\"") + std::to_string(i) + "\"";
    const Checked checked = Check(R"({"help": [)" + lines + "]}");
    EXPECT_TRUE(checked.ok);
    const std::string warning =
        extra == 0 ? ""
                   : "    warning: " + LinesLeftOutNote(extra, kMaxHelpLines, false).text + "\n";
    EXPECT_NE(checked.report.find(last + warning), std::string::npos) << checked.report;
    EXPECT_EQ(checked.report.find("warning") == std::string::npos, extra == 0) << checked.report;
    EXPECT_EQ(checked.report.find("| " + bound + "\n"), std::string::npos);
  }
}

}  // namespace
