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

// The selection made while parsing against one made from the tree, which knows each object's
// distinct keys: an object's count left out may only add the repeats of keys left out.
bool SameSelection(const Result<Noted<HelpLines>>& chosen, const Result<HelpLines>& exactly) {
  if (!chosen || !exactly) return !chosen && !exactly && chosen.why() == exactly.why();
  const HelpLines& selected = chosen->value;
  const HelpLines& exact = *exactly;
  const bool sameLeftOut = selected.leftOutOfObject ? selected.leftOut >= exact.leftOut
                                                    : selected.leftOut == exact.leftOut;
  return selected.lines == exact.lines && selected.problem == exact.problem && sameLeftOut &&
         selected.leftOutOfObject == exact.leftOutOfObject && selected.cutLines == exact.cutLines;
}

// The selection without its notes, which are written from it.
Result<HelpLines> WithoutNotes(const Result<Noted<HelpLines>>& chosen) {
  if (!chosen) return Reason{chosen.why()};
  return chosen->value;
}

// The rules once more, written out from what the help-file documentation promises, over the tree.
HelpLines ExpectedLines(const nlohmann::json& value, const std::string& argument,
                        std::size_t maxLines) {
  HelpLines expected;
  if (value.is_null()) return expected;
  if (!value.is_object()) {
    expected.problem =
        Reason{"the top-level value is " + std::string(value.type_name()) + ", not an object"};
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
  for (const nlohmann::json* line : lines) {
    if (expected.lines.size() == maxLines) {
      expected.leftOut = lines.size() - maxLines;
      expected.leftOutOfObject = entry->is_object();
      break;
    }
    if (!line->is_string()) {
      expected.problem =
          Reason{"a line must be a string, but is " + std::string(line->type_name())};
      break;
    }
    const std::string& text = line->get_ref<const std::string&>();
    expected.lines.push_back(text.substr(0, CutAtUtf8Boundary(text, kMaxHelpLineBytes).size()));
    if (expected.lines.back().size() < text.size()) ++expected.cutLines;
  }
  return expected;
}

void CheckAgainstOracles(std::string_view file, const std::string& argument, std::size_t maxLines) {
  const Result<Noted<HelpLines>> selected = SelectHelpLines(file, argument, maxLines);
  FUZZ_CHECK(SameSelection(selected, TreeHelpLines(file, argument, maxLines)));
  // Every log line stays short, whatever the file quotes.
  if (!selected) {
    FUZZ_CHECK(selected.why().size() <= kMaxReasonBytes + 40);
    return;
  }
  FUZZ_CHECK(selected->value.lines.size() <= maxLines);
  for (const std::string& line : selected->value.lines) {
    FUZZ_CHECK(line.size() <= kMaxHelpLineBytes);
  }
  FUZZ_CHECK(SameSelection(selected, ExpectedLines(*ParseHelpTree(file), argument, maxLines)));
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
  const Result<Noted<HelpLines>> selected = SelectHelpLines(file, argument);
  if (selected) {
    const std::string followed = std::string(file) + " {\"help\": [";
    FUZZ_CHECK(SameSelection(SelectHelpLines(followed, argument), WithoutNotes(selected)));
  }
  return 0;
}
