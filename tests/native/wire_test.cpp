#include "net/wire.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ConsoleCase {
  std::string message;
  bool isConsole;
  std::string text;  // what the chat shows when isConsole
};

TEST(ConsoleMessage, FollowsThePrefixLengthAndFirstSpaceRules) {
  const ConsoleCase cases[] = {
      {"console hello", true, "hello"},
      {"console", false, ""},
      {"console ", false, ""},
      {"consolehello", true, "consolehello"},  // no space: the whole message
      {"console a b", true, "a b"},            // only the first space splits
      {"status ok", false, ""},
      {"Console hello", false, ""},  // the prefix is case-sensitive
      {"console  x", true, " x"},
      {"console x ", true, "x "},
      {"console1 ", true, ""},  // the first space is the last byte: empty text
      {"xconsole hello", false, ""},
  };
  for (const ConsoleCase& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(IsConsoleMessage(c.message), c.isConsole);
    if (c.isConsole) {
      EXPECT_EQ(ConsoleText(c.message), c.text);
    }
  }
}

TEST(ConsoleMessage, TwoMessagesInOneReceiveAreOneMessage) {
  const std::string joined = "console oneconsole two";
  ASSERT_TRUE(IsConsoleMessage(joined));
  EXPECT_EQ(ConsoleText(joined), "oneconsole two");
}

TEST(ReceiveBuffer, MessageEndsAtTheFirstZeroByte) {
  const char bytes[] = "console hi\0console there";
  EXPECT_EQ(MessageInBuffer(bytes, sizeof(bytes)), "console hi");
  const char empty[8] = {};
  EXPECT_EQ(MessageInBuffer(empty, sizeof(empty)), "");
}

TEST(ReceiveBuffer, FullReceiveWithoutZeroStopsAtTheBufferEnd) {
  // A full receive has no terminating zero; the message must end at the buffer's length.
  std::string full(kReceiveLength + 8, 'x');
  full.replace(0, 8, "console ");
  const std::string_view message = MessageInBuffer(full.data(), kReceiveLength);
  EXPECT_EQ(message.size(), kReceiveLength);
  EXPECT_EQ(ConsoleText(message), std::string(kReceiveLength - 8, 'x'));
}

}  // namespace
