// console-server's mark on the help files it writes: a member whose key does not begin with
// "help", so that no request shows it, and whose value names the rule file the help came from.
// console-server replaces and removes only the files marked for its own rule file, so that two
// of them sharing a help folder leave each other's files alone; console-help-check knows the
// member, and does not warn that it is never shown.
#pragma once

#include <string>
#include <string_view>

#include "common/text_bytes.h"

constexpr std::string_view kHelpMarkKey = "written by";
constexpr std::string_view kHelpMarkWriter = "console-server";
constexpr std::string_view kHelpMarkFrom = " from ";

// The mark's value on help from the rule file at ruleFile: "console-server from /srv/my.rules".
inline std::string HelpMarkValue(std::string_view ruleFile) {
  return std::string(kHelpMarkWriter) + std::string(kHelpMarkFrom) + std::string(ruleFile);
}

// Whether a value of the member kHelpMarkKey is console-server's mark, from any rule file.
inline bool IsHelpMarkValue(std::string_view value) {
  return value == kHelpMarkWriter || StartsWith(value, HelpMarkValue(""));
}
