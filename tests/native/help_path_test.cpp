#include "help/help_path.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Commands = std::vector<std::string>;

TEST(CommandMayNameHelpFile, AcceptsCommandsThatStayInTheHelpFolder) {
  // The last piece always ends in "Help.json": ".." gives the file "..Help.json", in the folder.
  const Commands accepted = {"kick",
                             "spawn",
                             "",
                             "team/join",
                             "team\\join",
                             "a//b",
                             "a/./b",
                             "./kick",
                             "Kick",
                             "x..y",
                             "kick.",
                             "kick..",
                             "..",
                             "a/..",
                             "...",
                             "con",
                             "COM1",
                             "COM10",
                             "LPT",
                             "com",
                             "auxiliary",
                             "nul1",
                             "CONSOLE",
                             "a/COM1x/b",
                             "C",
                             "a.b/c.d",
                             "\xC3\xA9t\xC3\xA9",
                             "COMx\xB9",
                             "\xB9"
                             "COM"};
  for (const std::string& command : accepted) {
    EXPECT_TRUE(CommandMayNameHelpFile(command)) << command;
  }
}

TEST(CommandMayNameHelpFile, RefusesCommandsThatLeaveTheHelpFolder) {
  const Commands refused = {"../../x",
                            "..\\..\\..\\tmp\\x",
                            "a/../../b",
                            "../x",
                            "a\\..\\..\\b",
                            "/etc/x",
                            "\\windows\\x",
                            "//server/share/x",
                            "\\\\server\\share\\x",
                            "\\\\?\\C:\\x",
                            "C:x",
                            "C:\\x",
                            "kick:stream",
                            "a/b:c",
                            ":",
                            "a/.../b",
                            ". ./x",
                            ".. /x",
                            "a/. ./b"};
  for (const std::string& command : refused) {
    EXPECT_FALSE(CommandMayNameHelpFile(command)) << command;
  }
}

TEST(CommandMayNameHelpFile, RefusesDeviceNamesInAnyCaseWithOrWithoutDots) {
  // The path is command + "Help.json": "COM1." gives "COM1.Help.json", which is the port.
  const Commands refused = {
      "COM1.", "AUX.", "aux.", "Con.", "NUL.x", "prn.", "com9.", "LPT1.", "lpt9.", "COM0.",
      "COM1.txt", "CON/x", "a/aux/b", "a\\NUL\\b", "con.txt/x", "CON /x", "COM\xB9.",
      "LPT\xC2\xB2.", "CONIN$.", "conout$/x", "a/com3.log/b",
      // Superscript one in code pages 949 and 1252, and in UTF-8, before a dot or at the end.
      "COM\xA9\xF6.", "lpt\xA9\xF6", "COM\xB9", "COM\xC2\xB9", "LPT\xB3/x", "com\xFFx."};
  for (const std::string& command : refused) {
    EXPECT_FALSE(CommandMayNameHelpFile(command)) << command;
  }
}

TEST(CommandMayNameHelpFile, SaysWhy) {
  const std::pair<const char*, const char*> cases[] = {
      {"../x", kLeavesTheFolder}, {"a/. ./x", kLeavesTheFolder}, {"/x", kStartsAtTheRoot},
      {"\\x", kStartsAtTheRoot},  {"C:x", kNamesADriveOrStream}, {"x:stream", kNamesADriveOrStream},
      {"COM1.", kNamesADevice},   {"nul/x", kNamesADevice},
  };
  for (const auto& [command, reason] : cases)
    EXPECT_EQ(CommandMayNameHelpFile(command).why(), reason) << command;
}

TEST(CommandOfHelpFile, IsTheCommandThatNamesTheFile) {
  // Windows finds a name in any case, so the suffix is matched in any case too.
  const std::pair<const char*, const char*> served[] = {
      {"spawnHelp.json", "spawn"}, {"team/joinHelp.json", "team/join"},
      {"spawnhelp.json", "spawn"}, {"SPAWNHELP.JSON", "SPAWN"},
      {"Help.json", ""},           {"help.json/kickHelp.json", "help.json/kick"},
  };
  for (const auto& [path, command] : served) {
    const Result<std::string> found = CommandOfHelpFile(path);
    ASSERT_TRUE(found) << path;
    EXPECT_EQ(*found, command) << path;
  }
  for (const char* path : {"spawn.json", "spawnhelp.jso", "elp.json", "kickHelp.json/x", ""})
    EXPECT_EQ(CommandOfHelpFile(path).why(), kNotAHelpFileName) << path;
}

}  // namespace
