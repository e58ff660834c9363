#include "programs/output_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Row {
  std::string name;
  std::vector<std::string> reads;  // the output as the program's pipe gave it
  std::vector<std::string> lines;  // what goes to the chat, in order
  std::size_t dropped = 0;
  std::size_t longest = 8;
};

// "line 1\n" to "line last\n", in one read.
std::string Numbered(std::size_t last) {
  std::string text;
  for (std::size_t i = 1; i <= last; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

// "line 1" to "line last".
std::vector<std::string> NumberedLines(std::size_t last) {
  std::vector<std::string> lines;
  for (std::size_t i = 1; i <= last; ++i) lines.push_back("line " + std::to_string(i));
  return lines;
}

std::vector<std::string> With(std::vector<std::string> lines, std::string last) {
  lines.push_back(std::move(last));
  return lines;
}

TEST(OutputLines, CutsAProgramsOutputIntoChatLines) {
  const std::size_t most = kMostLinesPerRun;
  static_assert(kMostLinesPerRun == 20, "the rows below name the 20th line");
  const Row rows[] = {
      {"LF ends a line", {"one\ntwo\n"}, {"one", "two"}},
      {"CR LF ends a line, and the CR is sent with neither", {"one\r\ntwo\r\n"}, {"one", "two"}},
      {"CR LF split between two reads", {"one\r", "\ntwo\r\n"}, {"one", "two"}},
      {"a line split between reads", {"o", "ne", "\n"}, {"one"}},
      {"a last line without an ending", {"one\ntwo"}, {"one", "two"}},
      {"a last line ending in CR alone", {"one\r"}, {"one"}},
      {"empty lines, with either ending, are not sent", {"\n\r\n\nx\n\r\n"}, {"x"}},
      {"no output", {}, {}},
      {"only empty lines: nothing was printed", {"\n\r\n"}, {}},
      {"a line as long as the longest stays whole", {"12345678\n"}, {"12345678"}},
      {"one byte more is cut", {"123456789\n"}, {"12345678"}},
      {"a long line with CR LF", {"1234567890\r\n"}, {"12345678"}},
      {"the CR one past the longest", {"12345678\r\n"}, {"12345678"}},
      {"a long last line without an ending", {"1234567890"}, {"12345678"}},
      {"a cut inside a character leaves all of it out", {"1234567\xC3\xA9\n"}, {"1234567"}},
      {"a character that ends at the longest stays", {"123456\xC3\xA9\n"}, {"123456\xC3\xA9"}},
      {"as many lines as a run sends", {Numbered(most)}, NumberedLines(most), 0, 40},
      {"one more: the last sent tells it",
       {Numbered(most + 1)},
       With(NumberedLines(most - 1), "line 20 [1 more line not shown]"),
       1,
       40},
      {"many more, the last one without an ending",
       {Numbered(most + 4), "line 25"},
       With(NumberedLines(most - 1), "line 20 [5 more lines not shown]"),
       5,
       40},
      {"the last sent is cut to leave room for the count",
       {Numbered(most - 1) + std::string(40, 'x') + "\nmore\n"},
       With(NumberedLines(most - 1), std::string(16, 'x') + " [1 more line not shown]"),
       1,
       40},
      {"empty lines are not counted", {Numbered(most) + "\n\r\n"}, NumberedLines(most), 0, 40},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    OutputLines output(row.longest);
    std::vector<std::string> sent;
    for (const std::string& read : row.reads) {
      for (std::string& line : output.Add(read)) sent.push_back(std::move(line));
    }
    for (std::string& line : output.Finish()) sent.push_back(std::move(line));
    EXPECT_EQ(sent, row.lines);
    EXPECT_EQ(output.Dropped(), row.dropped);
    EXPECT_EQ(output.Empty(), row.lines.empty());
  }
}

TEST(OutputLines, SendsEachLineAsSoonAsItEndsButHoldsTheLastThatMayGo) {
  OutputLines output(40);
  EXPECT_EQ(output.Add("one\ntw"), std::vector<std::string>{"one"});
  EXPECT_EQ(output.Add("o\n"), std::vector<std::string>{"two"});
  const std::string upToTheNineteenth = Numbered(kMostLinesPerRun - 1).substr(Numbered(2).size());
  EXPECT_EQ(output.Add(upToTheNineteenth).size(), kMostLinesPerRun - 3);
  // The 20th waits: a 21st would have it tell how many more there were.
  EXPECT_TRUE(output.Add("last\n").empty());
  EXPECT_EQ(output.Finish(), std::vector<std::string>{"last"});
}

}  // namespace
