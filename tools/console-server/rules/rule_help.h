// Help files from the rules' own comments: a comment line directly above a rule is what the
// player reads for its command typed alone (which never reaches console-server: the plugin
// shows the command's help file instead). console-server --help-dir DIR writes them as
// DIR/<command>Help.json, and keeps them in line with the rules as they are read again.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "rules/script_rules.h"

// The command whose help lists every described command, unless a rule has that command.
constexpr std::string_view kCommandsListCommand = "commands";

// A help file that the rules describe: its command and the lines of its "help" entry.
struct RuleHelp {
  std::string command;
  std::vector<std::string> lines;
};

// The help file of each described rule that can apply, with a note for each description that
// gets no file: a command that is no plain file name (a / or \, a .., a device, a character
// that no file name holds, the * rule), a second rule whose file Windows takes for the same, a
// description that is not UTF-8, a comment that a blank line parts from its rule. A rule after
// the * rule never applies, and gets no file.
Noted<std::vector<RuleHelp>> RuleHelpFiles(const std::vector<ScriptRule>& rules);

// The help of /commands: each command whose help file is in place, with its description. None
// when there is none, or when a rule that applies has that command.
std::optional<RuleHelp> CommandsList(const std::vector<ScriptRule>& rules,
                                     const std::vector<RuleHelp>& inPlace);

// The file's text, as console-server writes it: marked as its own, from the rule file at
// ruleFile (see help/help_mark.h).
std::string RuleHelpText(const RuleHelp& help, std::string_view ruleFile);

// Brings the folder in line with the rules from the rule file at ruleFile: writes each help file
// whose text differs (to a new temporary file, then renamed, so that the plugin never reads half
// of one), then the commands list of those in place, and removes the files marked for this rule
// file whose command has none now. Gives a line for each file written or removed, and a note for
// each description that got no file and each file left alone (one that console-server did not
// write from this rule file, a link, no regular file) or not written.
Noted<std::vector<std::string>> WriteRuleHelp(const std::filesystem::path& folder,
                                              const std::vector<ScriptRule>& rules,
                                              const std::string& ruleFile);
