// The messages waiting to go to each connection, and when the next may go. No socket and no lock
// in it: messages.cpp holds the one set of queues behind a lock, and the main loop sends.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "connections/connection_policy.h"
#include "net/wire.h"

// The plugin reads at most this many bytes at once: a longer message would arrive in pieces.
constexpr std::size_t kLongestMessage = kReceiveLength;
// The longest text that one message can carry to the chat: the plugin shows only messages that
// start with kConsolePrefix, and the chat gets the text after kConsoleTextStart.
constexpr std::size_t kLongestText = kLongestMessage - kConsolePrefix.size() - 1;
// Messages wait per connection: one that sends commands without pause fills only its own queue,
// never the game's. At 10 a second, 64 go out in under 7 s.
constexpr std::size_t kMostQueued = 64;
// The plugin reads about every 10 ms, and two messages that arrive between two of its reads are
// taken as one: keep a safe gap between sends on a connection.
constexpr auto kGapBetweenMessages = std::chrono::milliseconds(100);

// A message due to go out now.
struct DueMessage {
  ConnectionId to = 0;
  std::string message;
  bool operator==(const DueMessage& other) const {
    return to == other.to && message == other.message;
  }
};

class ReplyQueues {
 public:
  void Open(ConnectionId id);
  // Drops what still waits for the connection; says how many messages that was.
  std::size_t Close(ConnectionId id);

  // Queues "console <text>" for a connection; the value says whether it was queued, and a note
  // says why not (only the first of a run of dropped messages gets one).
  Noted<bool> Add(ConnectionId to, std::string_view text);
  // Queues "console <text>" for every open connection.
  Noted<bool> AddForEveryone(std::string_view text);

  // The next message of each connection whose last one went kGapBetweenMessages ago or more.
  std::vector<DueMessage> TakeDue(PolicyClock::time_point now);

 private:
  struct Queue {
    std::deque<std::string> messages;
    // Whether messages were dropped since the queue last drained: one note says so.
    bool dropping = false;
    bool sentAny = false;
    PolicyClock::time_point lastSent;
  };

  void Append(Queue& queue, const std::string& message, Noted<bool>& outcome);

  std::map<ConnectionId, Queue> queues_;
};

// Why a text cannot go to the chat as one message, if it cannot.
Result<> CheckMessageText(std::string_view text);
