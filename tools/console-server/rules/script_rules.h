// Rules for console-server --script: a rule file maps a command to a reply, or to a program.
//
//   # comment
//   kick -> Kicked {args}.
//   spawn ->
//   weather => weather.py "{args}" --short
//   * -> Unknown command: {command}
//
// A rule applies when its command is the first word of the line the game sent ("*" applies to
// any line); the first rule that applies answers. In the reply, {line} is the whole line,
// {command} its first word and {args} what follows the first space. A rule with no reply
// answers nothing, which keeps later rules (such as "*") from answering.
//
// A "=>" rule runs PROGRAM with the words after it. Words are split at spaces, and double quotes
// group a word that holds spaces; {line}, {command} and {args} are filled in after the split, so
// what the player typed always stays within one argument. A relative PROGRAM is found beside the
// rule file (or, as a bare name, on the PATH), and the program runs in the rule file's folder.
// A field goes only to the admin's own code, or to a program that the rule's mark "=>!" says
// takes it as data only (find =>! grep -i -- {args} notes.txt); what surely runs it is refused
// even so (see rule_trust.h), and so is a "{" that is not a field (see rule_fields.h).
//
// A comment line directly above a rule describes it: "# Rolls dice: /roll 2d6" above a "roll"
// rule is what the player reads for /roll alone, once written as a help file (see rule_help.h).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

struct ScriptRule {
  std::string text;  // the rule as written, for telling what a new reading changed
  std::string command;
  std::string reply;
  // For a "=>" rule: the program as named, and its argument words before filling in.
  std::string program;
  std::vector<std::string> arguments;
  std::string folder;    // the rule file's folder, where the program runs
  bool couldRun = true;  // whether the program could run when the rules were read
  // The check of trust again, on what runs then, just before each run (see rule_trust.h).
  std::function<Result<>()> checkBeforeStart;
  // The comment on the line directly above the rule, without its "#": the rule's help.
  std::string description;
  // A comment that blank lines part from the rule, which is then no description: told when
  // help is written (the file's opening comments are never one).
  std::string partedDescription;
};

// A rule file larger than this is refused before it is read whole.
constexpr std::size_t kLargestRuleFile = 1024 * 1024;

// Why a rule file saved as UTF-16 (with a byte-order mark or without) is not read.
constexpr const char* kUtf16RuleFile = "the rule file is UTF-16; save it as UTF-8";

// Reads a rule file, or says why it cannot be used (with the line number). The notes tell what is
// allowed but surely not meant: a rule that a "*" rule before it hides, a program that is not
// there (yet) or cannot run (yet), a field that a program not of the admin's own may take for an
// option, a mark that is not needed.
Result<Noted<std::vector<ScriptRule>>> ReadScriptRules(const std::string& path);

// What a new reading changed: a line for each rule removed ("- RULE") or added ("+ RULE").
std::vector<std::string> RuleChanges(const std::vector<ScriptRule>& before,
                                     const std::vector<ScriptRule>& after);

struct ScriptAnswer {
  std::string reply;  // a "->" rule's reply; empty for a silent rule or a "=>" rule
  // For a "=>" rule: the program and its arguments, filled in, and the fields of the line.
  const ScriptRule* run = nullptr;
  std::vector<std::string> arguments;
  std::string line;
  std::string command;
  std::string args;
};

// What answers a line the game sent, or nothing when no rule applies or the rule is silent.
std::optional<ScriptAnswer> ScriptAnswerTo(const std::vector<ScriptRule>& rules,
                                           std::string_view line);
