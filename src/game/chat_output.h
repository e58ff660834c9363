// Showing a line of text in the game's chat.
#pragma once

#include <string>

// Shows the text as one chat line through the game's own chat display routine.
void ShowChatMessage(std::string text);
