#include "messages.h"

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>

#include "connections/platform.h"

namespace {

std::mutex PrintLock;
std::mutex QueueLock;
ReplyQueues Queues;

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

void PrintNotes(const Noted<bool>& outcome) {
  for (const Reason& note : outcome.notes) Print('!', note.text);
}

}  // namespace

void Print(char mark, std::string_view text) {
  std::lock_guard<std::mutex> hold(PrintLock);
  std::cout << Timestamp() << ' ' << mark << ' ' << text << std::endl;
}

void OpenReplies(ConnectionId connection) {
  std::lock_guard<std::mutex> hold(QueueLock);
  Queues.Open(connection);
}

void CloseReplies(ConnectionId connection) {
  std::unique_lock<std::mutex> hold(QueueLock);
  const std::size_t dropped = Queues.Close(connection);
  hold.unlock();
  if (dropped == 0) return;
  Print('!', "connection " + std::to_string(connection) + " closed with " +
                 std::to_string(dropped) + " messages not sent");
}

void QueueReply(ConnectionId to, std::string_view text) {
  std::unique_lock<std::mutex> hold(QueueLock);
  const Noted<bool> queued = Queues.Add(to, text);
  hold.unlock();
  PrintNotes(queued);
}

void QueueForEveryone(std::string_view text) {
  std::unique_lock<std::mutex> hold(QueueLock);
  const Noted<bool> queued = Queues.AddForEveryone(text);
  hold.unlock();
  PrintNotes(queued);
}

std::vector<DueMessage> TakeDueMessages() {
  std::lock_guard<std::mutex> hold(QueueLock);
  return Queues.TakeDue(PolicyClock::now());
}
