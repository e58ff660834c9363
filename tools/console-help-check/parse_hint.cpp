#include "parse_hint.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "common/text_bytes.h"

namespace {

using Json = nlohmann::json;

constexpr std::string_view kJsonWhitespace = " \t\r\n";

// Reads the text and keeps nothing of it but where reading stopped, so that a file nested
// without end costs no tree.
struct StopPosition {
  std::size_t byte = 0;  // the number of bytes read when reading stopped; 0: it did not stop

  bool null() { return true; }
  bool boolean(bool) { return true; }
  bool number_integer(Json::number_integer_t) { return true; }
  bool number_unsigned(Json::number_unsigned_t) { return true; }
  bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
  bool string(Json::string_t&) { return true; }
  bool binary(Json::binary_t&) { return true; }
  bool start_object(std::size_t) { return true; }
  bool end_object() { return true; }
  bool start_array(std::size_t) { return true; }
  bool end_array() { return true; }
  bool key(Json::string_t&) { return true; }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception&) {
    byte = position;
    return false;
  }
};

// "line 2, column 5", counted as the JSON library counts in its message: from 1, in bytes.
std::string LineAndColumn(std::string_view text, std::size_t byte) {
  const std::string_view before = text.substr(0, byte);
  const std::size_t lineStart = before.rfind('\n') + 1;  // 0 on the first line
  std::size_t line = 1;
  for (const char c : before) {
    if (c == '\n') ++line;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(byte - lineStart + 1);
}

}  // namespace

LikelyMistake FindLikelyMistake(std::string_view text) {
  if (IsUtf16(text)) return {ParseMistake::kUtf16, 0};
  StopPosition stop;
  // Not strict: the plugin reads up to the end of the first value, whatever follows it.
  if (Json::sax_parse(text, &stop, Json::input_format_t::json, false) || stop.byte == 0 ||
      stop.byte > text.size()) {
    return {};
  }
  const std::size_t at = stop.byte - 1;  // the byte at which reading stopped
  const char stopped = text[at];
  const char next = at + 1 < text.size() ? text[at + 1] : '\0';
  if ((stopped == ']' || stopped == '}') && at > 0) {
    const std::size_t before = text.find_last_not_of(kJsonWhitespace, at - 1);
    if (before != std::string_view::npos && text[before] == ',') {
      return {ParseMistake::kTrailingComma, before};
    }
  }
  if (stopped == '\'') return {ParseMistake::kSingleQuotes, at};
  if (stopped == '#' || (stopped == '/' && (next == '/' || next == '*'))) {
    return {ParseMistake::kComment, at};
  }
  return {};
}

std::string MistakeHint(const LikelyMistake& likely, std::string_view text) {
  switch (likely.mistake) {
    case ParseMistake::kNone:
      return "";
    case ParseMistake::kUtf16:
      if (EncodingOf(text) == TextEncoding::kUtf16WithoutByteOrderMark) {
        return "the file is UTF-16 without a byte-order mark (a zero byte in every other byte), as "
               "PowerShell and some editors save it, and the plugin reads UTF-8 only: save it as "
               "UTF-8";
      }
      return "the file is UTF-16 (it starts with a UTF-16 byte-order mark), as Windows Notepad "
             "may save it, and the plugin reads UTF-8 only: save it as UTF-8";
    case ParseMistake::kTrailingComma:
      return "a comma before ] or } (at " + LineAndColumn(text, likely.byte) +
             "): JSON allows none after the last element; remove it";
    case ParseMistake::kSingleQuotes:
      return "a string in single quotes: JSON strings take double quotes, \"help\"";
    case ParseMistake::kComment:
      return "a comment: JSON has none; remove it";
  }
  return "";
}
