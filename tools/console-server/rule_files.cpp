#include "rule_files.h"

#include "rules/rule_help.h"

Decisions LookAtRules(std::optional<RuleFile>& ruleFile, ConsoleServer& server,
                      ServerClock::time_point now) {
  if (!ruleFile) return {};
  return server.RulesRead(ruleFile->Look(now, server.Rules()));
}

std::vector<PrintedLine> WriteHelp(const HelpToWrite& help) {
  const Noted<std::vector<std::string>> done =
      WriteRuleHelp(help.folder, help.rules, help.ruleFile);
  std::vector<PrintedLine> printed;
  for (const std::string& line : done.value) printed.push_back({'*', line});
  for (const Reason& note : done.notes) printed.push_back({'!', note.text});
  return printed;
}
