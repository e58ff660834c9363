// Help files: one JSON file per command, whose entries are the lines shown in the chat.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Where the help of a command lives, relative to the game's working directory. The command goes
// in as typed, so "a/b" reads from a subdirectory.
std::string HelpFilePath(std::string_view command);

// Reads one JSON value from the start of the stream; what follows it is never examined.
// Returns false, with the JSON library's message in error, when no value can be read.
bool ReadHelpValue(std::istream& in, nlohmann::json& value, std::string& error);

// Calls showLine(text) for each line that the entry for the argument shows, in order. An argument
// that is no member key falls back to the entry "help". Returns an empty string when every line
// was shown, otherwise why the entry stopped; the lines before that point have been shown.
template <typename ShowLine>
std::string ForEachHelpLine(const nlohmann::json& value, std::string_view argument,
                            ShowLine&& showLine);

// --- implementation of the template ---

// The entry for the argument, or nullptr when there is none (which shows nothing). Fails, with
// error set, for a top-level value that is not an object or null.
const nlohmann::json* SelectHelpEntry(const nlohmann::json& value, std::string_view argument,
                                      std::string& error);

std::string NotALineError(const nlohmann::json& line);

template <typename ShowLine>
std::string ForEachHelpLine(const nlohmann::json& value, std::string_view argument,
                            ShowLine&& showLine) {
  std::string error;
  const nlohmann::json* entry = SelectHelpEntry(value, argument, error);
  if (entry == nullptr) return error;
  if (entry->is_null()) return error;

  // An array or object gives its elements (an object's in key order); anything else is one line.
  auto showOne = [&](const nlohmann::json& line) {
    if (!line.is_string()) return false;
    showLine(line.get_ref<const std::string&>());
    return true;
  };
  if (entry->is_array() || entry->is_object()) {
    for (const nlohmann::json& line : *entry) {
      if (!showOne(line)) return NotALineError(line);
    }
  } else if (!showOne(*entry)) {
    return NotALineError(*entry);
  }
  return error;
}
