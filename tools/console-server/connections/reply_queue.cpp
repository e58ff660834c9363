#include "connections/reply_queue.h"

#include <utility>

std::string ConsoleMessage(std::string_view text) {
  return std::string(kConsolePrefix) + kConsoleTextStart + std::string(text);
}

Result<> CheckMessageText(std::string_view text) {
  if (text.empty()) return Reason{"an empty message shows nothing in the chat; not sent"};
  if (text.size() > kLongestText) {
    return Reason{"longer than " + std::to_string(kLongestMessage) +
                  " bytes, which the plugin would split; not sent"};
  }
  return Done{};
}

std::optional<std::string> ReplyQueue::Add(std::string message) {
  if (Waiting() < kMostQueued) {
    queued_.push_back(std::move(message));
    return std::nullopt;
  }
  if (dropping_) return std::nullopt;
  dropping_ = true;
  return std::to_string(kMostQueued) +
         " messages wait to be sent already; dropping new ones until they are sent";
}

void ReplyQueue::Pace(ServerClock::time_point now) {
  if (!sending_.empty() || queued_.empty()) return;
  if (lastStarted_ && now < *lastStarted_ + kGapBetweenMessages) return;
  sending_ = std::move(queued_.front());
  queued_.pop_front();
  taken_ = 0;
  sendingSince_ = now;
  lastStarted_ = now;
  // Drained: the next message dropped gets a reason again.
  if (queued_.empty()) dropping_ = false;
}

std::optional<std::string> ReplyQueue::Took(std::size_t count) {
  taken_ += count;
  if (sending_.empty() || taken_ < sending_.size()) return std::nullopt;
  std::string sent = std::move(sending_);
  sending_.clear();
  taken_ = 0;
  return sent;
}

std::optional<ServerClock::time_point> ReplyQueue::NextDue() const {
  if (!sending_.empty()) return sendingSince_ + kLongestSendWait;
  if (queued_.empty()) return std::nullopt;
  return lastStarted_ ? *lastStarted_ + kGapBetweenMessages : ServerClock::time_point::min();
}

bool ReplyQueue::Stuck(ServerClock::time_point now) const {
  return !sending_.empty() && now >= sendingSince_ + kLongestSendWait;
}
