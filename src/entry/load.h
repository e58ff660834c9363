// The plugin's start-up, run once by the start-up thread and exported for the loader.
#pragma once

// Exported by name only, in the Windows platform compiler's decorated form of bool Load().
#if defined(_MSC_VER)
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define PLUGIN_EXPORT  // exported through ConsoleRelay.def under its decorated name
#endif                 // _MSC_VER

// Checks the game version, logs the start-up lines and starts the worker. Always returns false.
PLUGIN_EXPORT bool Load();
