// What console-server prints, and the messages waiting to go to the game. Any thread may print
// and queue; the main loop sends the queued messages, paced.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "net/wire.h"

// The plugin reads at most this many bytes at once: a longer message would arrive in pieces.
constexpr std::size_t kLongestMessage = kReceiveLength;
// The longest text that one message can carry to the chat: the plugin shows only messages that
// start with kConsolePrefix, and the chat gets the text after kConsoleTextStart.
constexpr std::size_t kLongestText = kLongestMessage - kConsolePrefix.size() - 1;

// One line of output: the time, a mark (">" received, "<" sent, "*" news, "!" trouble), text.
void Print(char mark, std::string_view text);

// Queues "console <text>" for the game, or says (with a "!" line) why it cannot be sent. At most
// 64 messages wait; more are dropped, with one "!" line until the queue has emptied.
void QueueConsoleMessage(std::string_view text);

// The next queued message, taken off the queue.
std::optional<std::string> TakeQueuedMessage();
