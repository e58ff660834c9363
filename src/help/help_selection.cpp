#include "help/help_selection.h"

#include <iterator>
#include <map>
#include <optional>
#include <utility>

#include <nlohmann/json.hpp>

#include "common/cut_reason.h"
#include "common/text_bytes.h"
#include "help/help_file.h"

namespace {

using Json = nlohmann::json;

// One element of an entry as it will show: its line, or the type of a value that is no line.
struct Element {
  std::string line;
  const char* notALine = nullptr;  // the JSON type name when the element is no string
  bool cut = false;
};

// The element for a value that is no container: its line for a string (text set), else its type.
Element ValueElement(const char* type, const std::string* text) {
  if (text == nullptr) return {{}, type, false};
  const std::string_view kept = CutAtUtf8Boundary(*text, kMaxHelpLineBytes);
  return {std::string(kept), nullptr, kept.size() < text->size()};
}

enum class EntryShape { kNull, kSingle, kArray, kObject };

// A member of the top-level object that may be the entry shown, kept only as far as it shows.
struct Candidate {
  bool seen = false;
  EntryShape shape = EntryShape::kNull;
  // kSingle and kArray: the elements in order, up to the line bound or the first that is no line.
  std::vector<Element> elements;
  std::size_t elementCount = 0;  // kArray, kObject: every element, shown or not
  // kObject: the members with the smallest keys, at most the line bound of them, and how often a
  // kept key was given again (a repeat replaces its value, and is no member left out).
  std::map<std::string, Element> members;
  std::size_t keptKeysRepeated = 0;
};

// The parser's event handler: follows the nesting and records the two members that may be shown
// (the argument's and "help"), each overwritten by a later member of the same key. The parser
// calls it by name, without virtual calls, as console-help-check's layout reader too.
struct SelectingHandler {
  std::string_view argument;
  std::size_t maxLines = kMaxHelpLines;

  std::size_t depth = 0;               // containers open around the next event
  const char* topLevelType = nullptr;  // the JSON type name of the first value
  Candidate forArgument;
  Candidate forDefault;
  Candidate* nextMember = nullptr;  // the candidate that the next top-level member value fills
  Candidate* recording = nullptr;   // the candidate whose array or object is open at depth 2
  std::string memberKey;            // the last key inside the recorded object
  std::optional<Reason> unreadable;

  // The candidate whose member value begins now, started afresh: a later member of the same key
  // replaces an earlier one.
  Candidate& StartMember(EntryShape shape) {
    Candidate& member = *nextMember;
    member = Candidate{};
    member.seen = true;
    member.shape = shape;
    nextMember = nullptr;
    return member;
  }

  // Whether the element that comes next in the recorded array or object is kept.
  bool KeepsNext() {
    Candidate& entry = *recording;
    ++entry.elementCount;
    if (entry.shape == EntryShape::kArray) {
      return entry.elements.size() < maxLines &&
             (entry.elements.empty() || entry.elements.back().notALine == nullptr);
    }
    // Once the bound is reached, a key larger than all kept ones never shows, nor is it kept (the
    // largest kept key only ever gets smaller): one comparison turns it away.
    const bool full = entry.members.size() >= maxLines;
    if (full && (maxLines == 0 || entry.members.rbegin()->first < memberKey)) return false;
    if (entry.members.count(memberKey) > 0) {
      ++entry.keptKeysRepeated;
      return true;
    }
    if (!full) return true;
    // A smaller key takes the largest one's place.
    entry.members.erase(std::prev(entry.members.end()));
    return true;
  }

  void Keep(Element element) {
    Candidate& entry = *recording;
    if (entry.shape == EntryShape::kArray) {
      entry.elements.push_back(std::move(element));
    } else {
      entry.members[memberKey] = std::move(element);
    }
  }

  // A value that is no container; text is set for a string.
  bool Value(const char* type, const std::string* text = nullptr) {
    if (depth == 0) {
      topLevelType = type;
    } else if (depth == 1 && nextMember != nullptr) {
      if (std::string_view(type) == "null") {
        StartMember(EntryShape::kNull);
      } else {
        StartMember(EntryShape::kSingle).elements.push_back(ValueElement(type, text));
      }
    } else if (depth == 2 && recording != nullptr && KeepsNext()) {
      Keep(ValueElement(type, text));
    }
    return true;
  }

  bool Open(EntryShape shape, const char* type) {
    if (depth + 1 > kMaxHelpDepth) {
      unreadable = Reason{"nested deeper than " + std::to_string(kMaxHelpDepth) +
                          " levels, more than any help file needs"};
      return false;
    }
    if (depth == 0) {
      topLevelType = type;
    } else if (depth == 1 && nextMember != nullptr) {
      recording = &StartMember(shape);
    } else if (depth == 2 && recording != nullptr && KeepsNext()) {
      Keep(ValueElement(type, nullptr));
    }
    ++depth;
    return true;
  }

  bool Close() {
    --depth;
    if (depth == 1) recording = nullptr;
    return true;
  }

  bool null() { return Value("null"); }
  bool boolean(bool) { return Value("boolean"); }
  bool number_integer(Json::number_integer_t) { return Value("number"); }
  bool number_unsigned(Json::number_unsigned_t) { return Value("number"); }
  bool number_float(Json::number_float_t, const Json::string_t&) { return Value("number"); }
  bool string(Json::string_t& text) { return Value("string", &text); }
  bool binary(Json::binary_t&) { return Value("binary"); }
  bool start_object(std::size_t) { return Open(EntryShape::kObject, "object"); }
  bool end_object() { return Close(); }
  bool start_array(std::size_t) { return Open(EntryShape::kArray, "array"); }
  bool end_array() { return Close(); }

  bool key(Json::string_t& key) {
    if (depth == 1) {
      nextMember = key == argument ? &forArgument : key == kDefaultEntry ? &forDefault : nullptr;
    } else if (depth == 2 && recording != nullptr) {
      memberKey = key;
    }
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) {
    // The library quotes all it read of a bad token, which can be the whole file.
    unreadable = Reason{CutReason(error.what())};
    return false;
  }
};

// What the entry shows, counted as the notes say it.
struct Shown {
  std::vector<std::string> lines;
  std::optional<HelpNote> failed;
  std::size_t cutLines = 0;
  std::size_t leftOut = 0;
  bool leftOutOfObject = false;
};

// Adds the element's line, or says why it is none.
bool Show(const Element& element, Shown& shown) {
  if (element.notALine != nullptr) {
    shown.failed = NotALineNote(element.notALine);
    return false;
  }
  shown.lines.push_back(element.line);
  if (element.cut) ++shown.cutLines;
  return true;
}

void ShowEntry(Candidate& entry, std::size_t maxLines, Shown& shown) {
  switch (entry.shape) {
    case EntryShape::kNull:
      return;
    case EntryShape::kSingle:
      if (maxLines == 0) {
        shown.leftOut = 1;
      } else {
        Show(entry.elements.front(), shown);
      }
      return;
    case EntryShape::kArray:
      for (const Element& element : entry.elements) {
        if (!Show(element, shown)) return;
      }
      if (shown.lines.size() == maxLines) shown.leftOut = entry.elementCount - maxLines;
      return;
    case EntryShape::kObject:
      for (const auto& member : entry.members) {
        if (!Show(member.second, shown)) return;
      }
      if (shown.lines.size() == maxLines) {
        shown.leftOut = entry.elementCount - entry.keptKeysRepeated - maxLines;
        shown.leftOutOfObject = shown.leftOut > 0;
      }
      return;
  }
}

HelpLines WithNotes(Shown shown, std::size_t maxLines) {
  HelpLines selected{std::move(shown.lines), {}};
  if (shown.cutLines > 0) selected.notes.push_back(LinesCutNote(shown.cutLines));
  if (shown.failed) selected.notes.push_back(std::move(*shown.failed));
  if (shown.leftOut > 0) {
    selected.notes.push_back(LinesLeftOutNote(shown.leftOut, maxLines, shown.leftOutOfObject));
  }
  return selected;
}

}  // namespace

HelpNote LinesCutNote(std::size_t count) {
  return {HelpNoteKind::kLinesCut, "cut " + std::to_string(count) +
                                       (count == 1 ? " line" : " lines") + " longer than " +
                                       std::to_string(kMaxHelpLineBytes) + " bytes to " +
                                       std::to_string(kMaxHelpLineBytes) + " bytes"};
}

HelpNote TopLevelNotAnObjectNote(std::string_view type) {
  return {HelpNoteKind::kFailed, "the top-level value is " + std::string(type) + ", not an object"};
}

HelpNote NotALineNote(std::string_view type) {
  return {HelpNoteKind::kFailed, "a line must be a string, but is " + std::string(type)};
}

HelpNote LinesLeftOutNote(std::size_t count, std::size_t maxLines, bool ofObject) {
  return {HelpNoteKind::kLinesLeftOut,
          "the entry has more than " + std::to_string(maxLines) + " lines: showed the first " +
              std::to_string(maxLines) + ", left out " + std::to_string(count) +
              (ofObject ? " members (a key given again counted again)" : "")};
}

Result<HelpLines> SelectHelpLines(std::string_view text, std::string_view argument,
                                  std::size_t maxLines) {
  SelectingHandler handler;
  handler.argument = argument;
  handler.maxLines = maxLines;
  // Not strict: reading ends with the first complete value, whatever follows it.
  if (!Json::sax_parse(text, &handler, Json::input_format_t::json, false)) {
    return handler.unreadable.value_or(Reason{"no JSON value"});
  }
  Shown shown;
  const std::string_view topLevelType = handler.topLevelType;
  if (topLevelType != "null" && topLevelType != "object") {
    shown.failed = TopLevelNotAnObjectNote(topLevelType);
  } else if (handler.forArgument.seen) {
    ShowEntry(handler.forArgument, maxLines, shown);
  } else if (handler.forDefault.seen) {
    ShowEntry(handler.forDefault, maxLines, shown);
  }
  return WithNotes(std::move(shown), maxLines);
}
