// The host's fine clock, so that measurements can line up moments in the game with the clock of
// a program outside it: the performance counter, in its own ticks.
#pragma once

#include <cstdint>

std::int64_t ClockTicks();
std::int64_t ClockTicksPerSecond();
