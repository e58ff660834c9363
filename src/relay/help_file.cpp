#include "relay/help_file.h"

namespace {

constexpr std::string_view kHelpDirectory = "nativePC/plugins/ConsoleHelp/";
constexpr std::string_view kHelpFileSuffix = "Help.json";
constexpr std::string_view kDefaultEntry = "help";

}  // namespace

std::string HelpFilePath(std::string_view command) {
  std::string path;
  path.reserve(kHelpDirectory.size() + command.size() + kHelpFileSuffix.size());
  path.append(kHelpDirectory).append(command).append(kHelpFileSuffix);
  return path;
}

bool ReadHelpValue(std::istream& in, nlohmann::json& value, std::string& error) {
  // The JSON library reports a malformed file by exception; this is the one place that turns it
  // into a result, so that no help file can end the caller.
  try {
    in >> value;
    return true;
  } catch (const nlohmann::json::exception& e) {
    error = e.what();
    value = nullptr;
    return false;
  }
}

const nlohmann::json* SelectHelpEntry(const nlohmann::json& value, std::string_view argument,
                                      std::string& error) {
  if (value.is_object()) {
    // Looked up by std::string: older releases of the JSON library take no string_view keys.
    const auto member = value.find(std::string(argument));
    if (member != value.end()) return &*member;
    const auto fallback = value.find(std::string(kDefaultEntry));
    if (fallback != value.end()) return &*fallback;
    return nullptr;
  }
  if (value.is_null()) return nullptr;
  error = "the top-level value is " + std::string(value.type_name()) + ", not an object";
  return nullptr;
}

std::string NotALineError(const nlohmann::json& line) {
  return "a line must be a string, but is " + std::string(line.type_name());
}
