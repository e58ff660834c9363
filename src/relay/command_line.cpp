#include "relay/command_line.h"

#include "common/text_bytes.h"

CommandDecision DecideCommand(std::string_view line) {
  if (line.empty()) return {CommandAction::kNothing, {}, {}, false};

  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return {CommandAction::kHelp, line, kHelpArgument, false};

  const std::string_view command = line.substr(0, space);
  const std::string_view argument = line.substr(space + 1);
  if (argument.empty()) return {CommandAction::kEmptyArgument, command, argument, true};
  if (StartsWith(argument, kHelpArgument)) {
    return {CommandAction::kHelp, command, argument, true};
  }
  return {CommandAction::kForward, command, argument, true};
}

std::string CapitalizedCommand(std::string_view command) {
  std::string word(command);
  // Only 'a' to 'z', whatever locale the host process has set.
  if (!word.empty() && word[0] >= 'a' && word[0] <= 'z')
    word[0] = static_cast<char>(word[0] - 'a' + 'A');
  return word;
}
