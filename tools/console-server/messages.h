// What console-server prints, and the messages waiting to go to the connections. Any thread may
// print and queue; the main loop sends the queued messages, paced.
#pragma once

#include <string_view>
#include <vector>

#include "connections/reply_queues.h"

// One line of output: the time, a mark (">" received, "<" sent, "*" news, "!" trouble), text.
void Print(char mark, std::string_view text);

// Makes room for messages to a connection that opened, or drops what waits for one that closed
// (with a "!" line that says how many).
void OpenReplies(ConnectionId connection);
void CloseReplies(ConnectionId connection);

// Queues "console <text>" for the connection whose command line it answers, or says (with a "!"
// line) why it cannot be sent. At most kMostQueued messages wait per connection; more are
// dropped, with one "!" line until its queue has drained.
void QueueReply(ConnectionId to, std::string_view text);

// Queues "console <text>" for every open connection: the game is one of them, and a chat line
// does no harm to another.
void QueueForEveryone(std::string_view text);

// The messages due to go out now, taken off their queues.
std::vector<DueMessage> TakeDueMessages();
