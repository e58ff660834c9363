// A line of console-server's output, and how anything from outside is shown in one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A line for console-server's output: a mark (">" received, "<" sent, "*" news, "!" trouble) and
// its text.
struct PrintedLine {
  char mark = '*';
  std::string text;
  bool operator==(const PrintedLine& other) const {
    return mark == other.mark && text == other.text;
  }
};

// What an excerpt shows of its text; the rest is told by its length. It bounds what a hostile
// line adds to a printed line or a reason.
constexpr std::size_t kLongestExcerpt = 200;

// Text from outside (a client, a program, a rule) as it may reach a terminal: controls, C1,
// bidirectional and hiding characters and bytes of no UTF-8 sequence written as \xNN.
std::string Shown(std::string_view text);

// Text from outside as a printed line or a reason quotes it (a client's line, a rule, a player's
// word): its first kLongestExcerpt bytes, shown, and its length when that is not all of it
// ("kick bob... (4,099 bytes)").
std::string Excerpt(std::string_view text);

// 1234567 as "1,234,567".
std::string Counted(std::size_t number);
