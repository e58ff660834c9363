// Writing the game's output lines through the loader's report channel.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "sim_report.h"

inline void Report(const char* kind, const std::string& payload) {
  SimReport(kind, payload.c_str());
}

// The bytes as they may appear in a report line.
inline std::string Escaped(std::string_view bytes) {
  std::string out(4 * bytes.size(), '\0');
  out.resize(SimEscape(bytes.data(), bytes.size(), &out[0]));
  return out;
}

// "0x" and lowercase hex digits.
inline std::string Hex(unsigned long long value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llx", value);
  return text;
}
