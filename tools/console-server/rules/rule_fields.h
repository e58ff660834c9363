// The fields of a rule's text: {line}, {command} and {args} are filled in with the line the game
// sent, and "{{" writes one "{". Any other "{" is refused when the rules are read, so that a typo
// such as {argz} or an unclosed {args does not reach the player as literal text.
#pragma once

#include <string>
#include <string_view>

#include "common/result.h"

// What the fields of a rule stand for in one line the game sent.
struct FieldValues {
  std::string_view line;
  std::string_view command;
  std::string_view args;
};

// Why the text cannot be filled in: an unclosed "{", or a name that is no field.
Result<> CheckFields(std::string_view text);

// Whether checked text holds a field (a "{{" is none).
bool HoldsField(std::string_view text);

// Checked text with its fields filled in, in one pass: a "{args}" that the player typed is not
// filled in again.
std::string FilledIn(std::string_view text, const FieldValues& values);
