#include "tree_help_lines.h"

#include <optional>
#include <sstream>
#include <string>

#include "common/cut_reason.h"
#include "common/text_bytes.h"
#include "help/help_file.h"

namespace {

using Json = nlohmann::json;

struct TooDeep {};

// What the tree shows, counted as the notes say it.
struct TreeShown {
  std::vector<std::string> lines;
  std::optional<HelpNote> failed;
  std::size_t cutLines = 0;
  std::size_t leftOut = 0;
  bool leftOutOfObject = false;
};

// The entry for the argument, or nullptr when there is none (which shows nothing). Fails, with
// the failure noted, for a top-level value that is not an object or null.
const Json* SelectHelpEntry(const Json& value, std::string_view argument, TreeShown& selected) {
  if (value.is_object()) {
    const auto member = value.find(std::string(argument));
    if (member != value.end()) return &*member;
    const auto fallback = value.find(std::string(kDefaultEntry));
    if (fallback != value.end()) return &*fallback;
    return nullptr;
  }
  if (value.is_null()) return nullptr;
  selected.failed = TopLevelNotAnObjectNote(value.type_name());
  return nullptr;
}

// Keeps the line, or says why it is none.
bool TakeLine(const Json& line, TreeShown& selected) {
  if (!line.is_string()) {
    selected.failed = NotALineNote(line.type_name());
    return false;
  }
  const std::string& text = line.get_ref<const std::string&>();
  const std::string_view kept = CutAtUtf8Boundary(text, kMaxHelpLineBytes);
  if (kept.size() < text.size()) ++selected.cutLines;
  selected.lines.emplace_back(kept);
  return true;
}

HelpLines WithNotes(TreeShown shown, std::size_t maxLines) {
  HelpLines selected{std::move(shown.lines), {}};
  if (shown.cutLines > 0) selected.notes.push_back(LinesCutNote(shown.cutLines));
  if (shown.failed) selected.notes.push_back(std::move(*shown.failed));
  if (shown.leftOut > 0) {
    selected.notes.push_back(LinesLeftOutNote(shown.leftOut, maxLines, shown.leftOutOfObject));
  }
  return selected;
}

}  // namespace

Result<Json> ParseHelpTree(std::string_view text) {
  std::istringstream in{std::string(text)};
  Json value;
  // The callback sees each container open, with the number already open around it, in the order
  // of the parse: so a file too deep stops where the event-based reading stops.
  const nlohmann::detail::parser_callback_t<Json> depthBound =
      [](int depth, nlohmann::detail::parse_event_t event, Json&) {
        const bool opens = event == nlohmann::detail::parse_event_t::object_start ||
                           event == nlohmann::detail::parse_event_t::array_start;
        if (opens && static_cast<std::size_t>(depth) + 1 > kMaxHelpDepth) throw TooDeep{};
        return true;
      };
  try {
    nlohmann::detail::parser<Json, nlohmann::detail::input_stream_adapter>(
        nlohmann::detail::input_adapter(in), depthBound)
        .parse(false, value);
  } catch (const Json::exception& e) {
    return Reason{CutReason(e.what())};
  } catch (const TooDeep&) {
    return Reason{"nested deeper than " + std::to_string(kMaxHelpDepth) +
                  " levels, more than any help file needs"};
  }
  return value;
}

Result<HelpLines> TreeHelpLines(std::string_view text, std::string_view argument,
                                std::size_t maxLines) {
  const Result<Json> value = ParseHelpTree(text);
  if (!value) return Reason{value.why()};
  TreeShown selected;
  const Json* entry = SelectHelpEntry(*value, argument, selected);
  if (entry == nullptr || entry->is_null()) return WithNotes(std::move(selected), maxLines);

  // An array or object gives its elements (an object's in key order); anything else is one line.
  if (!entry->is_array() && !entry->is_object()) {
    if (maxLines == 0) {
      selected.leftOut = 1;
    } else {
      TakeLine(*entry, selected);
    }
    return WithNotes(std::move(selected), maxLines);
  }
  for (const Json& line : *entry) {
    if (selected.lines.size() == maxLines) {
      selected.leftOut = entry->size() - maxLines;
      selected.leftOutOfObject = entry->is_object();
      break;
    }
    if (!TakeLine(line, selected)) break;
  }
  return WithNotes(std::move(selected), maxLines);
}
