// Which commands may name a help file: the path a command makes must stay in the help folder and
// must not name a device.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Why the help path of the command (the help folder + command + "Help.json") would leave the help
// folder or open a device instead of a file; nothing when it names a file inside the folder. A
// slash inside the command leads into a subfolder and is fine.
std::optional<std::string> HelpPathRefusal(std::string_view command);
