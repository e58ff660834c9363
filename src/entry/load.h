// The plugin's start-up, run once by the start-up thread and exported for the loader.
#pragma once

#include "host/compiler.h"

// Exported by name only, in the Windows platform compiler's decorated form of bool Load().
#if PLATFORM_COMPILER_ABI
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT  // exported through ConsoleRelay.def under its decorated name
#endif                 // PLATFORM_COMPILER_ABI

// Checks the game version, logs the start-up lines and starts the worker. Always returns false.
PLUGIN_EXPORT bool Load();
