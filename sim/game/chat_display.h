// The game's chat display routine, which the plugin calls at its fixed address.
#pragma once

#include <cstdint>

// Shows a chat line: here, reports it as "chat <object> <f> <i> <flag> <text>".
void DisplayChatLine(void* object, const char* text, float f, std::int32_t i, bool flag);

// The clock (ClockTicks) when the routine was last called, or 0 before the first call.
std::int64_t LastChatDisplayTicks();

// Makes the next call of the routine report "held" and wait until ReleaseChatDisplay: the plugin's
// worker stops inside that pass, so a test can line up what the rest of the pass will see.
void HoldNextChatDisplay();
void ReleaseChatDisplay();

// Puts a jump to DisplayChatLine at the routine's fixed address. On failure, says why on stderr
// and returns false.
bool InstallChatDisplayRoutine();
