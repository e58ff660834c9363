// What waits to go to one connection: whole messages, paced, and the bytes of the one being sent
// that its socket has not taken yet. No socket in it: the main loop sends what Unsent holds and
// tells how much the socket took.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "net/wire.h"
#include "server_clock.h"

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
// A connection whose bytes have waited this long for its socket does not read: it is closed.
constexpr auto kLongestSendWait = std::chrono::seconds(10);

// "console <text>".
std::string ConsoleMessage(std::string_view text);

// Why a text cannot go to the chat as one message, if it cannot.
Result<> CheckMessageText(std::string_view text);

class ReplyQueue {
 public:
  // Queues a message, or says why not when kMostQueued wait already. Only the first message
  // dropped since the queue last drained gets a reason: the rest are dropped in silence.
  std::optional<std::string> Add(std::string message);

  // Starts sending the next message once the last went kGapBetweenMessages ago.
  void Pace(ServerClock::time_point now);

  // The bytes of the message being sent that the socket has not taken.
  std::string_view Unsent() const { return std::string_view(sending_).substr(taken_); }

  // The socket took count bytes of Unsent(); the message when it went whole.
  std::optional<std::string> Took(std::size_t count);

  // Whether bytes have waited kLongestSendWait for the socket.
  bool Stuck(ServerClock::time_point now) const;

  // When Pace or Stuck next has something to do, if ever without a new message: the next start
  // (time_point::min() when due at once), or the end of the wait of the message being sent.
  std::optional<ServerClock::time_point> NextDue() const;

  // The messages not sent, the one being sent among them.
  std::size_t Waiting() const { return queued_.size() + (sending_.empty() ? 0 : 1); }

 private:
  std::deque<std::string> queued_;
  std::string sending_;
  std::size_t taken_ = 0;
  ServerClock::time_point sendingSince_;
  std::optional<ServerClock::time_point> lastStarted_;
  bool dropping_ = false;
};
