#include <string>

#include "connections/socket_calls.h"
#include "connections/socket_wait.h"

namespace {

// Connections that may come to the wake's listener before its own, in the moment that it
// listens; each is closed.
constexpr int kMostStrangers = 16;

// The port of a socket's own end.
int LocalPort(Socket socket) {
  sockaddr_in address = {};
  AddressLength length = sizeof(address);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  return ntohs(address.sin_port);
}

}  // namespace

// WSAPoll waits on sockets only: what wakes it is a loopback connection to itself, whose one end
// is watched and the other written to.
struct SocketWait::State {
  Socket reader = kNoSocket;
  Socket writer = kNoSocket;
  std::vector<PollEntry> entries;
};

SocketWait::SocketWait(std::unique_ptr<State> state) : state_(std::move(state)) {}

SocketWait::~SocketWait() {
  CloseSocket(state_->reader);
  CloseSocket(state_->writer);
}

Result<std::unique_ptr<SocketWait>> SocketWait::Start() {
  const Result<Listener> listener = ListenOnLoopback(0);
  if (!listener) return Reason{"cannot listen for its wake: " + listener.why()};
  auto state = std::make_unique<State>();
  state->writer = NewStreamSocket();
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(listener->port));
  if (state->writer == kNoSocket ||
      connect(Native(state->writer), reinterpret_cast<const sockaddr*>(&address),
              sizeof(address)) != 0 ||
      !SetNonBlocking(state->writer)) {
    const Reason why{"cannot connect its wake: " + SocketFailure().text};
    if (state->writer != kNoSocket) CloseSocket(state->writer);
    CloseSocket(listener->socket);
    return why;
  }
  // Only its own connection is taken: another local program may connect meanwhile.
  const std::string own = "127.0.0.1:" + std::to_string(LocalPort(state->writer));
  for (int i = 0; i < kMostStrangers && state->reader == kNoSocket; ++i) {
    std::variant<Accepted, AcceptFailure> taken = AcceptConnection(listener->socket);
    auto* accepted = std::get_if<Accepted>(&taken);
    if (accepted == nullptr) break;
    if (accepted->peer == own) {
      state->reader = accepted->socket;
    } else {
      CloseSocket(accepted->socket);
    }
  }
  CloseSocket(listener->socket);
  if (state->reader == kNoSocket) {
    CloseSocket(state->writer);
    return Reason{"cannot take its wake's connection"};
  }
  return std::unique_ptr<SocketWait>(new SocketWait(std::move(state)));
}

void SocketWait::Wake() {
  // A full buffer is still readable: the wait ends all the same.
  const char one = 1;
  send(Native(state_->writer), &one, 1, 0);
}

std::vector<ReadySocket> SocketWait::Wait(const std::vector<Watch>& watches,
                                          std::chrono::milliseconds timeout) {
  State& state = *state_;
  state.entries.clear();
  state.entries.reserve(watches.size() + 1);
  for (const Watch& watch : watches) {
    PollEntry entry = {};
    entry.fd = Native(watch.socket);
    entry.events = static_cast<short>(POLLIN | (watch.write ? POLLOUT : 0));
    state.entries.push_back(entry);
  }
  PollEntry wake = {};
  wake.fd = Native(state.reader);
  wake.events = POLLIN;
  state.entries.push_back(wake);
  std::vector<ReadySocket> ready;
  if (PollSockets(state.entries.data(), state.entries.size(), static_cast<int>(timeout.count())) <
      1) {
    return ready;
  }
  for (std::size_t i = 0; i < watches.size(); ++i) {
    const short events = state.entries[i].revents;
    if (events == 0) continue;
    // An error or a hang-up is read as the connection's end.
    ready.push_back(
        {watches[i].socket,
         {(events & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) != 0, (events & POLLOUT) != 0}});
  }
  if (state.entries.back().revents != 0) {
    char posts[256];
    while (recv(Native(state.reader), posts, sizeof(posts), 0) > 0) {
    }
  }
  return ready;
}

void SocketWait::Forget(Socket) {}
