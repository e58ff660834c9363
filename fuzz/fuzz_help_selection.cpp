// The event-based help selection against the oracle, the whole file read as a tree: the first
// line of the input is the argument of a help request, the rest is the help file. For every input
// both must show exactly the same lines and say exactly the same about them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/cut_reason.h"
#include "common/text_bytes.h"
#include "fuzz_check.h"
#include "help/help_file.h"
#include "help/help_selection.h"
#include "tree_help_lines.h"

namespace {

// The count that a note on lines left out names.
std::size_t LeftOutCount(const std::string& text) {
  const std::string_view mark = ", left out ";
  return std::stoul(text.substr(text.find(mark) + mark.size()));
}

// An object's count left out may only add the repeats of keys left out; every other note is the
// same word for word.
bool SameNote(const HelpNote& selected, const HelpNote& exact, std::size_t maxLines) {
  if (selected == exact) return true;
  if (selected.kind != HelpNoteKind::kLinesLeftOut || exact.kind != selected.kind) return false;
  const std::size_t selectedCount = LeftOutCount(selected.text);
  const std::size_t exactCount = LeftOutCount(exact.text);
  return selected == LinesLeftOutNote(selectedCount, maxLines, true) &&
         exact == LinesLeftOutNote(exactCount, maxLines, true) && selectedCount >= exactCount;
}

// The selection made while parsing against one made from the tree, which knows each object's
// distinct keys.
bool SameSelection(const Result<HelpLines>& chosen, const Result<HelpLines>& exactly,
                   std::size_t maxLines) {
  if (!chosen || !exactly) return !chosen && !exactly && chosen.why() == exactly.why();
  const std::vector<HelpNote>& notes = chosen->notes;
  const std::vector<HelpNote>& exactNotes = exactly->notes;
  if (chosen->lines != exactly->lines || notes.size() != exactNotes.size()) return false;
  for (std::size_t i = 0; i < notes.size(); ++i) {
    if (!SameNote(notes[i], exactNotes[i], maxLines)) return false;
  }
  return true;
}

// The rules once more, written out from what the help-file documentation promises, over the tree.
HelpLines ExpectedLines(const nlohmann::json& value, const std::string& argument,
                        std::size_t maxLines) {
  HelpLines expected;
  if (value.is_null()) return expected;
  if (!value.is_object()) {
    expected.notes.push_back(TopLevelNotAnObjectNote(value.type_name()));
    return expected;
  }
  const nlohmann::json* entry = nullptr;
  if (value.contains(argument)) {
    entry = &value.at(argument);
  } else if (value.contains(std::string(kDefaultEntry))) {
    entry = &value.at(std::string(kDefaultEntry));
  } else {
    return expected;
  }
  if (entry->is_null()) return expected;

  std::vector<const nlohmann::json*> lines;
  if (entry->is_array() || entry->is_object()) {
    for (const nlohmann::json& line : *entry) lines.push_back(&line);
  } else {
    lines.push_back(entry);
  }
  std::size_t cutLines = 0;
  std::vector<HelpNote> after;  // the notes that follow the one on cut lines
  for (const nlohmann::json* line : lines) {
    if (expected.lines.size() == maxLines) {
      after.push_back(LinesLeftOutNote(lines.size() - maxLines, maxLines, entry->is_object()));
      break;
    }
    if (!line->is_string()) {
      after.push_back(NotALineNote(line->type_name()));
      break;
    }
    const std::string& text = line->get_ref<const std::string&>();
    expected.lines.push_back(text.substr(0, CutAtUtf8Boundary(text, kMaxHelpLineBytes).size()));
    if (expected.lines.back().size() < text.size()) ++cutLines;
  }
  if (cutLines > 0) expected.notes.push_back(LinesCutNote(cutLines));
  expected.notes.insert(expected.notes.end(), after.begin(), after.end());
  return expected;
}

void CheckAgainstOracles(std::string_view file, const std::string& argument, std::size_t maxLines) {
  const Result<HelpLines> selected = SelectHelpLines(file, argument, maxLines);
  FUZZ_CHECK(SameSelection(selected, TreeHelpLines(file, argument, maxLines), maxLines));
  // Every log line stays short, whatever the file quotes.
  if (!selected) {
    FUZZ_CHECK(selected.why().size() <= kMaxReasonBytes + 40);
    return;
  }
  FUZZ_CHECK(selected->lines.size() <= maxLines);
  for (const std::string& line : selected->lines) {
    FUZZ_CHECK(line.size() <= kMaxHelpLineBytes);
  }
  FUZZ_CHECK(
      SameSelection(selected, ExpectedLines(*ParseHelpTree(file), argument, maxLines), maxLines));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t lineEnd = input.find('\n');
  const std::string argument(input.substr(0, lineEnd));
  const std::string_view file =
      lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);

  CheckAgainstOracles(file, argument, kMaxHelpLines);
  // A small bound, so that short inputs reach it too.
  CheckAgainstOracles(file, argument, 2);

  // Whatever follows the first value is never examined.
  const Result<HelpLines> selected = SelectHelpLines(file, argument);
  if (selected) {
    const std::string followed = std::string(file) + " {\"help\": [";
    FUZZ_CHECK(SameSelection(SelectHelpLines(followed, argument), selected, kMaxHelpLines));
  }
  return 0;
}
