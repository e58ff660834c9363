// The plugin's start-up, run once by the start-up thread and exported for the loader.
#pragma once

#include "host/msvc_abi.h"

// Exported by name only, in MSVC's decorated form of bool Load().
#if MSVC_ABI
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT  // exported through ConsoleRelay.def under its decorated name
#endif                 // MSVC_ABI

// Checks the game version, logs the start-up lines and starts the worker. Always returns false:
// the loader's contract with its plugins, not a reason (each failure has its log line).
PLUGIN_EXPORT bool Load();
