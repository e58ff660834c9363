// The files that the loop reads and writes for the owner, which opens none: the rule file,
// looked at once a second, whose news goes to the owner as an event, and the help folder, written
// as the owner decided.
#pragma once

#include <optional>
#include <vector>

#include "console_server.h"
#include "output/printed_line.h"
#include "rules/rule_file.h"

// Looks at the rule file, if there is one, and gives the owner what the look found.
Decisions LookAtRules(std::optional<RuleFile>& ruleFile, ConsoleServer& server,
                      ServerClock::time_point now);

// Brings the help folder in line with the rules: a "*" line for each file written or removed,
// a "!" line for each one left alone or not written.
std::vector<PrintedLine> WriteHelp(const HelpToWrite& help);
