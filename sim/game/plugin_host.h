// Loading the plugin and calling its entry, as the host mod loader would.
#pragma once

// Loads the plugin at `path` (relative to the current directory) and reports "plugin loaded
// <address>" or "plugin failed <error>"; a null path reports "plugin none".
void LoadPlugin(const wchar_t* path);

// Calls the plugin's exported "bool Load()". Returns "0" or "1", or "missing" when there is no
// plugin or it exports no such function.
const char* CallPluginLoad();
