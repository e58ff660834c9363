// Canned answers for console-server --script: a rule file maps a command to a reply.
//
//   # comment
//   kick -> Kicked {args}.
//   spawn ->
//   * -> Unknown command: {command}
//
// A rule applies when its command is the first word of the line the game sent ("*" applies to
// any line); the first rule that applies answers. In the reply, {line} is the whole line,
// {command} its first word and {args} what follows the first space. A rule with no reply
// answers nothing, which keeps later rules (such as "*") from answering.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ScriptRule {
  std::string command;
  std::string reply;
};

// Reads a rule file. On failure returns false and says why (with the line number) in error.
bool ReadScriptRules(const std::string& path, std::vector<ScriptRule>& rules, std::string& error);

// The reply to a line the game sent, or nothing when no rule applies or the rule is silent.
std::optional<std::string> ScriptReply(const std::vector<ScriptRule>& rules, std::string_view line);
