// Finding the game's main module in the current process.
#pragma once

#include <cstdint>

#include "common/result.h"

// Base address of the loaded game module, or why there is none: this process is not the game.
Result<std::uintptr_t> FindGameModule();
