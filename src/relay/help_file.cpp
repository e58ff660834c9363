#include "relay/help_file.h"

#include "relay/cut_reason.h"

std::string HelpFilePath(std::string_view command) {
  std::string path;
  path.reserve(kHelpDirectory.size() + command.size() + kHelpFileSuffix.size());
  path.append(kHelpDirectory).append(command).append(kHelpFileSuffix);
  return path;
}

std::int64_t HelpFileSize(std::istream& in) {
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  // A folder has a size on some systems, but not one byte to read.
  if (!in || size < 0 || (size > 0 && in.peek() == std::istream::traits_type::eof())) {
    in.clear(std::ios::failbit);
    return -1;
  }
  return static_cast<std::int64_t>(size);
}

std::string TooLargeReason(std::int64_t size) {
  return std::to_string(size) + " bytes, more than the " + std::to_string(kMaxHelpFileBytes) +
         " a help file may have";
}

std::string LeftOutReason(std::size_t leftOut, std::size_t maxLines) {
  return "the entry has more than " + std::to_string(maxLines) + " lines: showed the first " +
         std::to_string(maxLines) + ", left out " + std::to_string(leftOut);
}

bool ReadHelpValue(std::istream& in, nlohmann::json& value, std::string& error) {
  // The JSON library reports a malformed file by exception; this is the one place that turns it
  // into a result, so that no help file can end the caller.
  try {
    in >> value;
    return true;
  } catch (const nlohmann::json::exception& e) {
    // The library quotes all it read of a bad token, which can be the whole file.
    error = CutReason(e.what());
    value = nullptr;
    return false;
  }
}

namespace {

// The entry for the argument, or nullptr when there is none (which shows nothing). Fails, with
// error set, for a top-level value that is not an object or null.
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

// Keeps the line, or says why it is none.
bool TakeLine(const nlohmann::json& line, HelpLines& selected) {
  if (!line.is_string()) {
    selected.problem = NotALineError(line);
    return false;
  }
  selected.lines.push_back(line.get_ref<const std::string&>());
  return true;
}

}  // namespace

HelpLines SelectHelpLines(const nlohmann::json& value, std::string_view argument,
                          std::size_t maxLines) {
  HelpLines selected;
  const nlohmann::json* entry = SelectHelpEntry(value, argument, selected.problem);
  if (entry == nullptr || entry->is_null()) return selected;

  // An array or object gives its elements (an object's in key order); anything else is one line.
  if (!entry->is_array() && !entry->is_object()) {
    if (maxLines == 0) {
      selected.leftOut = 1;
    } else {
      TakeLine(*entry, selected);
    }
    return selected;
  }
  for (const nlohmann::json& line : *entry) {
    if (selected.lines.size() == maxLines) {
      selected.leftOut = entry->size() - maxLines;
      break;
    }
    if (!TakeLine(line, selected)) break;
  }
  return selected;
}
