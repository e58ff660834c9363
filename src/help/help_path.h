// Which commands may name a help file, and which command a help file serves: the path a command
// makes must stay in the help folder and must not name a device. The plugin, console-server and
// console-help-check all ask here.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

// Why a command names no help file: CommandMayNameHelpFile gives one of these.
constexpr const char* kStartsAtTheRoot =
    "a command that starts with / or \\ would leave the help folder";
constexpr const char* kNamesADriveOrStream =
    "a command with a : names a drive or a stream, not a help file";
constexpr const char* kLeavesTheFolder = "a .. in a command would leave the help folder";
constexpr const char* kNamesADevice =
    "a command that names a device (CON, AUX, COM1...) is no help file";

// Whether the help path of the command (the help folder + command + "Help.json") names a file
// inside the folder, or why it would leave the folder or open a device instead. A slash inside
// the command leads into a subfolder and is fine.
Result<> CommandMayNameHelpFile(std::string_view command);

// Why a file serves no command: CommandOfHelpFile gives it.
constexpr const char* kNotAHelpFileName = "the game reads only files named <command>Help.json";

// The command whose help lives at the path relative to the help folder, with "/" between its
// folders: "a/bHelp.json" serves "a/b". None when the file name does not end in "Help.json", in
// any case, since Windows finds "ahelp.json" for "a" too. Whether the plugin then reads it is
// CommandMayNameHelpFile's to say.
Result<std::string> CommandOfHelpFile(std::string_view relativePath);
