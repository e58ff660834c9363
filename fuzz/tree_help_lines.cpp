#include "tree_help_lines.h"

#include <sstream>
#include <string>

#include "common/cut_reason.h"
#include "common/text_bytes.h"
#include "help/help_file.h"

namespace {

using Json = nlohmann::json;

struct TooDeep {};

// What the tree shows, and how many of its lines were cut: the note on them comes first, once
// every line is taken.
struct TreeShown {
  HelpLines selected;
  std::size_t cutLines = 0;
};

// The entry for the argument, or nullptr when there is none (which shows nothing). Fails, with
// the failure noted, for a top-level value that is not an object or null.
const Json* SelectHelpEntry(const Json& value, std::string_view argument, TreeShown& shown) {
  if (value.is_object()) {
    const auto member = value.find(std::string(argument));
    if (member != value.end()) return &*member;
    const auto fallback = value.find(std::string(kDefaultEntry));
    if (fallback != value.end()) return &*fallback;
    return nullptr;
  }
  if (value.is_null()) return nullptr;
  shown.selected.notes.push_back(TopLevelNotAnObjectNote(value.type_name()));
  return nullptr;
}

// Keeps the line, or says why it is none.
bool TakeLine(const Json& line, TreeShown& shown) {
  if (!line.is_string()) {
    shown.selected.notes.push_back(NotALineNote(line.type_name()));
    return false;
  }
  const std::string& text = line.get_ref<const std::string&>();
  const std::string_view kept = CutAtUtf8Boundary(text, kMaxHelpLineBytes);
  if (kept.size() < text.size()) ++shown.cutLines;
  shown.selected.lines.emplace_back(kept);
  return true;
}

HelpLines Finished(TreeShown shown) {
  std::vector<HelpNote>& notes = shown.selected.notes;
  if (shown.cutLines > 0) notes.insert(notes.begin(), LinesCutNote(shown.cutLines));
  return std::move(shown.selected);
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
  TreeShown shown;
  const Json* entry = SelectHelpEntry(*value, argument, shown);
  if (entry == nullptr || entry->is_null()) return Finished(std::move(shown));

  // An array or object gives its elements (an object's in key order); anything else is one line.
  if (!entry->is_array() && !entry->is_object()) {
    if (maxLines == 0) {
      shown.selected.notes.push_back(LinesLeftOutNote(1, maxLines, false));
    } else {
      TakeLine(*entry, shown);
    }
    return Finished(std::move(shown));
  }
  for (const Json& line : *entry) {
    if (shown.selected.lines.size() == maxLines) {
      shown.selected.notes.push_back(
          LinesLeftOutNote(entry->size() - maxLines, maxLines, entry->is_object()));
      break;
    }
    if (!TakeLine(line, shown)) break;
  }
  return Finished(std::move(shown));
}
