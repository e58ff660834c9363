// Which commands may name a help file: the path a command makes must stay in the help folder and
// must not name a device.
#pragma once

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
