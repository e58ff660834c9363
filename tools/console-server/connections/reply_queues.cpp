#include "connections/reply_queues.h"

#include <utility>

#include "common/text_bytes.h"

namespace {

std::string Message(std::string_view text) {
  return std::string(kConsolePrefix) + kConsoleTextStart + std::string(text);
}

std::string Connection(ConnectionId id) {
  return "connection " + std::to_string(id);
}

}  // namespace

Result<> CheckMessageText(std::string_view text) {
  if (text.empty()) return Reason{"an empty message shows nothing in the chat; not sent"};
  if (text.size() > kLongestText) {
    return Reason{"longer than " + std::to_string(kLongestMessage) +
                  " bytes, which the plugin would split; not sent"};
  }
  return Done{};
}

void ReplyQueues::Open(ConnectionId id) {
  queues_[id];
}

std::size_t ReplyQueues::Close(ConnectionId id) {
  const auto queue = queues_.find(id);
  if (queue == queues_.end()) return 0;
  const std::size_t dropped = queue->second.messages.size();
  queues_.erase(queue);
  return dropped;
}

void ReplyQueues::Append(Queue& queue, const std::string& message, Noted<bool>& outcome) {
  if (queue.messages.size() < kMostQueued) {
    queue.messages.push_back(message);
    outcome.value = true;
    return;
  }
  if (queue.dropping) return;
  queue.dropping = true;
  outcome.Note(std::to_string(kMostQueued) +
               " messages wait to be sent already; dropping new ones until they are sent");
}

Noted<bool> ReplyQueues::Add(ConnectionId to, std::string_view text) {
  Noted<bool> outcome{false, {}};
  if (const Result<> fits = CheckMessageText(text); !fits) {
    outcome.Note(fits.why());
    return outcome;
  }
  const auto queue = queues_.find(to);
  if (queue == queues_.end()) {
    outcome.Note(Connection(to) + " has closed; not sent: " + EscapedBytes(Message(text)));
    return outcome;
  }
  Append(queue->second, Message(text), outcome);
  for (Reason& note : outcome.notes) note.text = Connection(to) + ": " + note.text;
  return outcome;
}

Noted<bool> ReplyQueues::AddForEveryone(std::string_view text) {
  Noted<bool> outcome{false, {}};
  if (const Result<> fits = CheckMessageText(text); !fits) {
    outcome.Note(fits.why());
    return outcome;
  }
  if (queues_.empty()) {
    outcome.Note("nothing is connected; not sent: " + EscapedBytes(Message(text)));
    return outcome;
  }
  const std::string message = Message(text);
  for (auto& [id, queue] : queues_) {
    Noted<bool> one{false, {}};
    Append(queue, message, one);
    outcome.value = outcome.value || one.value;
    for (const Reason& note : one.notes) outcome.Note(Connection(id) + ": " + note.text);
  }
  return outcome;
}

std::vector<DueMessage> ReplyQueues::TakeDue(PolicyClock::time_point now) {
  std::vector<DueMessage> due;
  for (auto& [id, queue] : queues_) {
    if (queue.messages.empty() || (queue.sentAny && now < queue.lastSent + kGapBetweenMessages)) {
      continue;
    }
    due.push_back({id, std::move(queue.messages.front())});
    queue.messages.pop_front();
    queue.sentAny = true;
    queue.lastSent = now;
    // Drained: the next message dropped gets a note again.
    if (queue.messages.empty()) queue.dropping = false;
  }
  return due;
}
