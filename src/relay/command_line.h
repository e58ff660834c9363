// What a command line captured from the chat asks for.
#pragma once

#include <string>
#include <string_view>

// The argument that asks for help: a command alone asks with exactly these bytes, and every
// argument that begins with them asks too.
constexpr std::string_view kHelpArgument = "help";

enum class CommandAction {
  kNothing,        // an empty line
  kHelp,           // show the help entry `argument` of `command`
  kEmptyArgument,  // a command followed by a space and nothing more
  kForward,        // send the whole line to the console program
};

struct CommandDecision {
  CommandAction action;
  std::string_view command;   // the bytes before the first space (the whole line without one)
  std::string_view argument;  // the bytes after the first space ("help" without a space)
  bool hasSpace;              // the line holds a space, so the relay logs its marker line
};

// Splits a command line at its first space and decides what the relay does with it.
CommandDecision DecideCommand(std::string_view line);

// The command word as logged: its first byte upper-cased by the C locale's rule.
std::string CapitalizedCommand(std::string_view command);
