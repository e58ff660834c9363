#include "messages.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>

#include "platform.h"

namespace {

// Messages go out at 10 a second: a connection sending commands without pause must not queue
// replies for hours, nor fill the memory.
constexpr std::size_t kMostQueued = 64;

std::mutex PrintLock;
std::mutex QueueLock;
std::deque<std::string> Queue;
// Whether messages were dropped since the queue was last empty: one "!" line says so.
bool Dropping = false;

std::string Timestamp() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::tm local = LocalTime(system_clock::to_time_t(now));
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  char text[16];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                local.tm_sec, static_cast<int>(ms));
  return text;
}

}  // namespace

void Print(char mark, std::string_view text) {
  std::lock_guard<std::mutex> hold(PrintLock);
  std::cout << Timestamp() << ' ' << mark << ' ' << text << std::endl;
}

void QueueConsoleMessage(std::string_view text) {
  if (text.empty()) {
    Print('!', "an empty message shows nothing in the chat; not sent");
    return;
  }
  if (text.size() > kLongestText) {
    Print('!', "longer than " + std::to_string(kLongestMessage) +
                   " bytes, which the plugin would split; not sent");
    return;
  }
  std::unique_lock<std::mutex> hold(QueueLock);
  if (Queue.size() < kMostQueued) {
    Queue.push_back(std::string(kConsolePrefix) + kConsoleTextStart + std::string(text));
    return;
  }
  if (Dropping) return;
  Dropping = true;
  hold.unlock();
  Print('!', std::to_string(kMostQueued) +
                 " messages wait to be sent already; dropping new ones until they are sent");
}

std::optional<std::string> TakeQueuedMessage() {
  std::lock_guard<std::mutex> hold(QueueLock);
  if (Queue.empty()) {
    Dropping = false;
    return std::nullopt;
  }
  std::string message = std::move(Queue.front());
  Queue.pop_front();
  return message;
}
