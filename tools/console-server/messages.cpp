#include "messages.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <iostream>
#include <mutex>

#include "platform.h"
#include "text.h"

namespace {

std::mutex PrintLock;
std::mutex QueueLock;
std::deque<std::string> Queue;

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
  std::lock_guard<std::mutex> hold(QueueLock);
  Queue.push_back(std::string(kConsolePrefix) + std::string(text));
}

std::optional<std::string> TakeQueuedMessage() {
  std::lock_guard<std::mutex> hold(QueueLock);
  if (Queue.empty()) return std::nullopt;
  std::string message = std::move(Queue.front());
  Queue.pop_front();
  return message;
}
