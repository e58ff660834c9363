#include "process_finder.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace {

struct Finder {
  std::mutex lock;
  std::condition_variable asked;
  std::vector<ProcessToFind> waiting;
  bool started = false;
};

// The one finder; its thread lives as long as the program, as the inbox it posts to.
Finder finder;

[[noreturn]] void Search(Inbox& inbox) {
  for (;;) {
    std::vector<ProcessToFind> wanted;
    {
      std::unique_lock<std::mutex> hold(finder.lock);
      finder.asked.wait(hold, [] { return !finder.waiting.empty(); });
      wanted = std::exchange(finder.waiting, {});
    }
    std::vector<HeldSocket> sockets;
    sockets.reserve(wanted.size());
    for (const ProcessToFind& one : wanted) sockets.push_back(one.socket);
    const std::vector<std::optional<ProcessId>> holders = FindSocketHolders(sockets);
    for (std::size_t i = 0; i < wanted.size(); ++i)
      inbox.Post(ProcessFound{wanted[i].connection, holders[i]});
  }
}

}  // namespace

void FindProcesses(const std::vector<ProcessToFind>& wanted, Inbox& inbox) {
  if (wanted.empty()) return;
  std::lock_guard<std::mutex> hold(finder.lock);
  finder.waiting.insert(finder.waiting.end(), wanted.begin(), wanted.end());
  if (!finder.started) {
    finder.started = true;
    std::thread(Search, std::ref(inbox)).detach();
  }
  finder.asked.notify_one();
}
