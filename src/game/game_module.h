// Finding the game's main module in the current process.
#pragma once

#include <cstdint>

// Base address of the loaded game module, or 0 when this process is not the game.
std::uintptr_t FindGameModule();
