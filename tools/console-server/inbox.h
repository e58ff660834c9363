// Where the other threads (the input reader, the programs) leave their events for the loop,
// which takes them all on each pass. The one lock that the loop shares with them. A post wakes
// the loop's wait, once the loop has said how.
#pragma once

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "console_server.h"

class Inbox {
 public:
  void Post(PostedEvent event) {
    std::lock_guard<std::mutex> hold(lock_);
    // Events that wait have woken the loop already: a program's flood of lines wakes it once.
    const bool first = events_.empty();
    events_.push_back(std::move(event));
    if (first && wake_) wake_();
  }

  std::vector<PostedEvent> TakeAll() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(events_, {});
  }

  // What a post calls from then on; the events posted before it are taken on the next pass.
  void WakeWith(std::function<void()> wake) {
    std::lock_guard<std::mutex> hold(lock_);
    wake_ = std::move(wake);
    if (!events_.empty()) wake_();
  }

 private:
  std::mutex lock_;
  std::vector<PostedEvent> events_;
  std::function<void()> wake_;
};
