// Answering a help request in the game's chat.
#pragma once

#include <string>

// Shows the lines of the command's help file entry for the argument; a missing file shows
// nothing and logs nothing.
void ShowHelp(std::string command, std::string argument);
