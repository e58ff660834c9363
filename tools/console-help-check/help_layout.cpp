#include "help_layout.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>

#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

// Walks the text for the parser and keeps where it has got to, which the parser does not tell.
class TrackedChar {
 public:
  using iterator_category = std::forward_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  TrackedChar(const char* at, const char** reached) : at_(at), reached_(reached) {}
  reference operator*() const { return *at_; }
  TrackedChar& operator++() {
    *reached_ = ++at_;
    return *this;
  }
  TrackedChar operator++(int) {
    TrackedChar before = *this;
    ++*this;
    return before;
  }
  bool operator==(const TrackedChar& other) const { return at_ == other.at_; }
  bool operator!=(const TrackedChar& other) const { return at_ != other.at_; }

 private:
  const char* at_;
  const char** reached_;
};

// Notes the file line where each value of interest begins. An event comes once its token has
// been read (a number's one byte further), so a value begins at the first byte after the
// previous event that is no white space, comma or colon. The parser's event handler, as the
// plugin's help selection has one: the parser calls it by name, without virtual calls.
class LayoutReader {
 public:
  LayoutReader(std::string_view text, std::string_view entry, const char** reached)
      : text_(text), entry_(entry), reached_(reached), previous_(text.data()) {}

  HelpLayout Finish() {
    HelpLayout layout;
    for (const auto& member : objectLines_) layout.entryLines.push_back(member.second);
    if (layout.entryLines.empty()) layout.entryLines = arrayLines_;
    for (auto& [key, lines] : keyLines_) {
      if (lines.size() > 1) layout.duplicateKeys.emplace_back(key, std::move(lines));
    }
    return layout;
  }

  bool null() { return Value(); }
  bool boolean(bool) { return Value(); }
  bool number_integer(Json::number_integer_t) { return Value(); }
  bool number_unsigned(Json::number_unsigned_t) { return Value(); }
  bool number_float(Json::number_float_t, const Json::string_t&) { return Value(); }
  bool string(Json::string_t&) { return Value(); }
  bool binary(Json::binary_t&) { return Value(); }
  bool start_object(std::size_t) { return Open(true); }
  bool start_array(std::size_t) { return Open(false); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(Json::string_t& name) {
    const std::size_t line = LineHere();
    if (depth_ == 1) {
      keyLines_[name].push_back(line);
      inEntry_ = !entry_.empty() && name == entry_;
      // A later copy of the entry replaces an earlier one.
      if (inEntry_) {
        objectLines_.clear();
        arrayLines_.clear();
      }
    }
    if (depth_ == 2) memberKey_ = name;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  std::size_t LineHere() {
    const char* start = previous_;
    const char* end = text_.data() + text_.size();
    while (start < end && std::string_view(" \t\r\n,:").find(*start) != std::string_view::npos) {
      ++start;
    }
    lineCount_ += static_cast<std::size_t>(std::count(lineCounted_, start, '\n'));
    lineCounted_ = start;
    previous_ = *reached_;
    return lineCount_ + 1;
  }

  // A value that begins at line: the entry itself when it is a single value, or one of its
  // chat lines.
  void Note(std::size_t line) {
    if (!inEntry_ || depth_ == 1) {
      if (inEntry_) arrayLines_ = {line};
      return;
    }
    if (depth_ != 2) return;
    if (entryIsObject_) {
      objectLines_[memberKey_] = line;
    } else {
      arrayLines_.push_back(line);
    }
  }

  bool Value() {
    Note(LineHere());
    return true;
  }

  bool Open(bool object) {
    const std::size_t line = LineHere();
    if (inEntry_ && depth_ == 1) {
      entryIsObject_ = object;
    } else {
      Note(line);
    }
    ++depth_;
    return true;
  }

  bool Close() {
    LineHere();
    --depth_;
    return true;
  }

  std::string_view text_;
  std::string_view entry_;
  const char** reached_;
  const char* previous_;
  const char* lineCounted_ = text_.data();
  std::size_t lineCount_ = 0;
  std::size_t depth_ = 0;
  bool inEntry_ = false;
  bool entryIsObject_ = false;
  std::string memberKey_;
  std::vector<std::size_t> arrayLines_;
  std::map<std::string, std::size_t> objectLines_;
  std::map<std::string, std::vector<std::size_t>> keyLines_;
};

}  // namespace

HelpLayout LayoutOf(std::string_view text, std::string_view entry) {
  const char* reached = text.data();
  LayoutReader reader(text, entry, &reached);
  Json::sax_parse(TrackedChar(text.data(), &reached),
                  TrackedChar(text.data() + text.size(), &reached), &reader,
                  nlohmann::json::input_format_t::json, false);
  return reader.Finish();
}
