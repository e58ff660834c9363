#include "connections.h"

#include <string_view>

#include "common/text_bytes.h"
#include "messages.h"

namespace {

// The plugin sends command lines of up to 4,099 bytes: one read must take the longest whole.
constexpr std::size_t kReadSize = 8192;

struct OpenSocket {
  ConnectionId id = 0;
  Socket socket = kNoSocket;
};

// Written by the main loop only, as connections open and close.
std::vector<OpenSocket> Sockets;
ConnectionPolicy Policy;
// The number of the last connection accepted: a number is never used again, so that a program's
// late output cannot reach a connection that opened after its own closed.
ConnectionId LastConnection = 0;

const OpenSocket* FindConnection(ConnectionId id) {
  for (const OpenSocket& open : Sockets) {
    if (open.id == id) return &open;
  }
  return nullptr;
}

const OpenSocket* FindSocket(Socket socket) {
  for (const OpenSocket& open : Sockets) {
    if (open.socket == socket) return &open;
  }
  return nullptr;
}

}  // namespace

std::vector<Socket> OpenSockets() {
  std::vector<Socket> sockets;
  for (const OpenSocket& open : Sockets) sockets.push_back(open.socket);
  return sockets;
}

Decisions AcceptNewConnection(Socket listener) {
  // Nothing to tell when none is taken: the peer gave up before it was, and a refusal of the
  // system's would come again on every pass of the loop.
  Result<Accepted> accepted = AcceptConnection(listener);
  if (!accepted) return {};
  const ConnectionId id = ++LastConnection;
  Sockets.push_back({id, accepted->socket});
  OpenReplies(id);
  return Policy.Opened(id, std::move(accepted->peer), PolicyClock::now());
}

Decisions ReceiveFrom(Socket socket) {
  const OpenSocket* open = FindSocket(socket);
  if (open == nullptr) return {};
  char buffer[kReadSize];
  const Result<std::size_t> count = ReceiveBytes(socket, buffer, sizeof(buffer));
  // A failed connection ends as a closed one: either way the peer is gone.
  if (!count || *count == 0) return Policy.Ended(open->id);
  return Policy.Received(open->id, std::string_view(buffer, *count), PolicyClock::now());
}

Decisions ReleaseHeldBytes() {
  return Policy.ReleaseDue(PolicyClock::now());
}

void CloseConnection(ConnectionId connection) {
  CloseReplies(connection);
  const OpenSocket* open = FindConnection(connection);
  if (open == nullptr) return;
  CloseSocket(open->socket);
  Sockets.erase(Sockets.begin() + (open - Sockets.data()));
}

void SendDueMessages() {
  for (const DueMessage& due : TakeDueMessages()) {
    const OpenSocket* open = FindConnection(due.to);
    if (open == nullptr) continue;
    if (const Result<> sent = SendBytes(open->socket, due.message); !sent) {
      Print('!', "connection " + std::to_string(due.to) + ": send failed: " + sent.why());
      continue;
    }
    Print('<', EscapedBytes(due.message));
  }
}
