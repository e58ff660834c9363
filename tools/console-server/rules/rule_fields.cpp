#include "rules/rule_fields.h"

#include <iterator>

#include "output/printed_line.h"

namespace {

constexpr std::string_view kFieldNames[] = {"line", "command", "args"};
constexpr std::size_t kNoField = std::size(kFieldNames);

// Gives each piece of the text to take, in order: literal text with kNoField, or a field's index
// with empty text. Stops at the first "{" that is neither "{{" nor a field, and says why.
template <typename Take>
Result<> EachPiece(std::string_view text, Take take) {
  while (!text.empty()) {
    const std::size_t open = text.find('{');
    if (open != 0) {
      take(text.substr(0, open), kNoField);
      text.remove_prefix(open == std::string_view::npos ? text.size() : open);
      continue;
    }
    if (text.substr(0, 2) == "{{") {
      take(text.substr(0, 1), kNoField);
      text.remove_prefix(2);
      continue;
    }
    const std::size_t close = text.find('}');
    if (close == std::string_view::npos) {
      return Reason{"a { is not closed (" + Excerpt(text) +
                    "); the fields are {line}, {command} and {args}, and {{ writes a {"};
    }
    const std::string_view name = text.substr(1, close - 1);
    std::size_t field = 0;
    while (field < kNoField && kFieldNames[field] != name) ++field;
    if (field == kNoField) {
      return Reason{"{" + Excerpt(name) +
                    "} is no field; the fields are {line}, {command} and {args}, and {{ writes "
                    "a {"};
    }
    take(std::string_view(), field);
    text.remove_prefix(close + 1);
  }
  return Done{};
}

}  // namespace

Result<> CheckFields(std::string_view text) {
  return EachPiece(text, [](std::string_view, std::size_t) {});
}

bool HoldsField(std::string_view text) {
  bool holds = false;
  static_cast<void>(EachPiece(
      text, [&](std::string_view, std::size_t field) { holds = holds || field != kNoField; }));
  return holds;
}

std::string FilledIn(std::string_view text, const FieldValues& values) {
  const std::string_view byField[] = {values.line, values.command, values.args};
  std::string out;
  static_cast<void>(EachPiece(text, [&](std::string_view literal, std::size_t field) {
    out += field == kNoField ? literal : byField[field];
  }));
  return out;
}
