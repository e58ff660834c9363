// TCP sockets, none of which ever blocks: platform_sockets.cpp writes the socket logic once, over
// the few calls that differ (socket_calls.h), which platform_posix.cpp and platform_win.cpp
// hold; socket_wait.h waits on them. The rest of console-server is the same everywhere. No socket
// is inherited by a program that console-server runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/result.h"

// Wide enough for both a Winsock SOCKET and a POSIX descriptor; kNoSocket is INVALID_SOCKET and
// -1 alike.
using Socket = std::uintptr_t;
constexpr Socket kNoSocket = ~Socket{0};

// Starts Winsock on Windows; on POSIX, keeps a send to a closed connection from killing the
// program (SIGPIPE) and raises the limit of open descriptors to the most it may be. Gives how
// many descriptors console-server may hold open (none on Windows: no limit but memory).
Result<std::size_t> StartSockets();

struct Listener {
  Socket socket = kNoSocket;
  int port = 0;  // the port it is bound to
};

// A listening socket on 127.0.0.1:port (0: any free port), which never blocks.
Result<Listener> ListenOnLoopback(int port);

// An IPv4 address and port, in host order: 127.0.0.1 is 0x7F000001.
struct Endpoint {
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  bool operator==(const Endpoint& other) const {
    return address == other.address && port == other.port;
  }
  bool operator!=(const Endpoint& other) const { return !(*this == other); }
};

struct Accepted {
  Socket socket = kNoSocket;
  std::string peer;  // "address:port"
  Endpoint peerEnd;  // the same, for asking the system whose it is
  Endpoint ownEnd;   // console-server's end of the connection
};

enum class AcceptEnd {
  kNoneWaiting,    // nothing to take
  kPeerGone,       // the peer reset the connection before it was taken: take the next
  kNoDescriptors,  // the process or the system has no descriptor or buffer left
  kOther,
};

struct AcceptFailure {
  AcceptEnd end = AcceptEnd::kOther;
  std::string why;
};

// Takes the next connection of a listening socket, one that never blocks, or says why none.
std::variant<Accepted, AcceptFailure> AcceptConnection(Socket listener);

// A socket to watch, and what for (connections/socket_wait.h waits on them).
struct Watch {
  Socket socket = kNoSocket;
  bool write = false;  // for room to send, besides bytes to read
};

struct Ready {
  bool read = false;   // bytes, an end or an error to read (or a connection to accept)
  bool write = false;  // room to send
};

enum class ReceiveEnd { kBytes, kNothingYet, kClosed };

struct Received {
  ReceiveEnd end = ReceiveEnd::kBytes;
  std::size_t count = 0;
};

// One read of what waited: its bytes, nothing yet, or the end of the connection (closed by the
// peer or failed: either way it is gone).
Received ReceiveBytes(Socket socket, char* buffer, std::size_t length);

// Sends what the socket takes now of the bytes, without waiting: how many it took (0 when it has
// no room), or why the connection failed.
Result<std::size_t> SendSome(Socket socket, std::string_view bytes);

void CloseSocket(Socket socket);
