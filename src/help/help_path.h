// Which commands may name a help file: the path a command makes must stay in the help folder and
// must not name a device.
#pragma once

#include <string_view>

#include "common/result.h"

// Whether the help path of the command (the help folder + command + "Help.json") names a file
// inside the folder, or why it would leave the folder or open a device instead. A slash inside
// the command leads into a subfolder and is fine.
Result<> CheckHelpPath(std::string_view command);
