// What the loader's own files share about the report channel.
#pragma once

#include <string>
#include <string_view>

// Starts the report clock and makes stdout binary. Called once, when loader.dll is loaded.
void StartSimReport();

// Appends the escaped form of the bytes (see SimEscape).
void AppendEscaped(std::string& out, std::string_view bytes);
