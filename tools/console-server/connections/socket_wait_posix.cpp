#include "connections/socket_wait.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <unordered_map>

#include "common/os_error.h"

namespace {

// Marks the wake's eventfd among the events: no socket has this number.
constexpr std::uint64_t kWakeMark = ~std::uint64_t{0} - 1;
// Events taken from the kernel in one call; more ready sockets wait for the next pass.
constexpr int kMostEvents = 1024;

std::uint32_t EventsFor(bool write) {
  return EPOLLIN | EPOLLRDHUP | (write ? EPOLLOUT : 0u);
}

}  // namespace

struct SocketWait::State {
  int epoll = -1;
  int wake = -1;
  // What epoll watches each socket for (whether for room to send), and the pass that last
  // watched it: the watches of a pass are compared with these, and only a change is a call.
  struct Entry {
    bool write = false;
    std::uint64_t pass = 0;
  };
  std::unordered_map<Socket, Entry> watched;
  std::uint64_t pass = 0;
  std::vector<epoll_event> events = std::vector<epoll_event>(kMostEvents);

  bool Control(int operation, Socket socket, bool write) {
    epoll_event event = {};
    event.events = EventsFor(write);
    event.data.u64 = socket;
    return epoll_ctl(epoll, operation, static_cast<int>(socket), &event) == 0;
  }
};

SocketWait::SocketWait(std::unique_ptr<State> state) : state_(std::move(state)) {}

SocketWait::~SocketWait() {
  close(state_->epoll);
  close(state_->wake);
}

Result<std::unique_ptr<SocketWait>> SocketWait::Start() {
  auto state = std::make_unique<State>();
  state->epoll = epoll_create1(EPOLL_CLOEXEC);
  state->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event wake = {};
  wake.events = EPOLLIN;
  wake.data.u64 = kWakeMark;
  if (state->epoll < 0 || state->wake < 0 ||
      epoll_ctl(state->epoll, EPOLL_CTL_ADD, state->wake, &wake) != 0) {
    const Reason why{OsErrorText(LastOsError())};
    if (state->epoll >= 0) close(state->epoll);
    if (state->wake >= 0) close(state->wake);
    return why;
  }
  return std::unique_ptr<SocketWait>(new SocketWait(std::move(state)));
}

void SocketWait::Wake() {
  const std::uint64_t one = 1;
  // A full counter is still readable: the wait ends all the same.
  [[maybe_unused]] const auto written = write(state_->wake, &one, sizeof(one));
}

std::vector<ReadySocket> SocketWait::Wait(const std::vector<Watch>& watches,
                                          std::chrono::milliseconds timeout) {
  State& state = *state_;
  const std::uint64_t pass = ++state.pass;
  for (const Watch& watch : watches) {
    const auto [entry, added] = state.watched.try_emplace(watch.socket, State::Entry{watch.write});
    entry->second.pass = pass;
    if (added) {
      if (!state.Control(EPOLL_CTL_ADD, watch.socket, watch.write) && errno == EEXIST)
        state.Control(EPOLL_CTL_MOD, watch.socket, watch.write);
    } else if (entry->second.write != watch.write) {
      entry->second.write = watch.write;
      state.Control(EPOLL_CTL_MOD, watch.socket, watch.write);
    }
  }
  for (auto entry = state.watched.begin(); entry != state.watched.end();) {
    if (entry->second.pass == pass) {
      ++entry;
      continue;
    }
    state.Control(EPOLL_CTL_DEL, entry->first, false);
    entry = state.watched.erase(entry);
  }
  std::vector<ReadySocket> ready;
  const int count =
      epoll_wait(state.epoll, state.events.data(), kMostEvents, static_cast<int>(timeout.count()));
  for (int i = 0; i < count; ++i) {
    const epoll_event& event = state.events[static_cast<std::size_t>(i)];
    if (event.data.u64 == kWakeMark) {
      std::uint64_t posts = 0;
      [[maybe_unused]] const auto taken = read(state.wake, &posts, sizeof(posts));
      continue;
    }
    // An error or a hang-up is read as the connection's end.
    ready.push_back({static_cast<Socket>(event.data.u64),
                     {(event.events & (EPOLLIN | EPOLLRDHUP | EPOLLERR | EPOLLHUP)) != 0,
                      (event.events & EPOLLOUT) != 0}});
  }
  return ready;
}

void SocketWait::Forget(Socket socket) {
  if (state_->watched.erase(socket) > 0) state_->Control(EPOLL_CTL_DEL, socket, false);
}
