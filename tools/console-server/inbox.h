// Where the other threads (the input reader, the programs) leave their events for the loop,
// which takes them all on each pass. The one lock that the loop shares with them.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "console_server.h"

class Inbox {
 public:
  void Post(PostedEvent event) {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(event));
  }

  std::vector<PostedEvent> TakeAll() {
    std::lock_guard<std::mutex> hold(lock_);
    return std::exchange(events_, {});
  }

 private:
  std::mutex lock_;
  std::vector<PostedEvent> events_;
};
