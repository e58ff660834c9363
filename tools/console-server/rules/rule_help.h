// Help files from the rules' own comments: a comment line directly above a rule is what the
// player reads for its command typed alone (which never reaches console-server: the plugin
// shows the command's help file instead). console-server --help-dir DIR writes them as
// DIR/<command>Help.json, and keeps them in line with the rules as they are read again.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "rules/script_rules.h"

// The member that marks a help file as console-server's: the only kind it replaces or removes.
// Its key does not begin with "help", so no request can show it.
constexpr std::string_view kHelpMarkKey = "written by";
constexpr std::string_view kHelpMarkValue = "console-server";

// The command whose help lists every described command, unless a rule has that command.
constexpr std::string_view kCommandsListCommand = "commands";

// A help file that the rules describe: its command and the lines of its "help" entry.
struct RuleHelp {
  std::string command;
  std::vector<std::string> lines;
};

// The help file of each described rule, and the commands list, with a note for each description
// that gets no file: a command that is no plain file name (a / or \, a .., a device, a character
// that no file name holds, the * rule), a second rule whose file would be the same, a description
// that is not UTF-8.
Noted<std::vector<RuleHelp>> RuleHelpFiles(const std::vector<ScriptRule>& rules);

// The file's text, as console-server writes it: marked as its own.
std::string RuleHelpText(const RuleHelp& help);

// Brings the folder in line with the files: writes each one whose text differs (through a
// temporary file, so that the plugin never reads half of one), and removes the marked files of
// commands that have none now. Gives a line for each file written or removed, and a note for each
// file left alone (one that console-server did not write) or that could not be written.
Noted<std::vector<std::string>> UpdateHelpFolder(const std::filesystem::path& folder,
                                                 const std::vector<RuleHelp>& files);

// Brings the folder in line with the rules (RuleHelpFiles, then UpdateHelpFolder): a line for each
// file written or removed, and a note for each description that got no file and each file left
// alone or not written.
Noted<std::vector<std::string>> WriteRuleHelp(const std::filesystem::path& folder,
                                              const std::vector<ScriptRule>& rules);
