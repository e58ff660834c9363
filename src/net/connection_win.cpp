#include "net/connection.h"

#include <winsock2.h>

#include <cstdint>

#include "plugin_numbers.h"

namespace {

// The connection to the console program, and how far it got. Only the worker touches them.
SOCKET ServerSocket = INVALID_SOCKET;
SocketState ServerState = SocketState::kClosed;
bool SocketsStarted = false;

constexpr const char* kServerAddress = "127.0.0.1";

sockaddr_in ServerAddress() {
  sockaddr_in server = {};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = inet_addr(kServerAddress);
  server.sin_port = htons(kServerPort);
  return server;
}

// Non-blocking, so that the receive of every pass returns at once when nothing has arrived, and
// a connect never waits longer than the relay chooses.
bool MakeNonBlocking() {
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned constant with its top bit set; ioctlsocket takes the same bits as long.
  return ioctlsocket(ServerSocket, static_cast<long>(FIONBIO), &nonBlocking) == 0;
}

// Whether a failed call left the socket as it was: nothing to read, or no room to write, now.
bool WouldBlock() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

// Whether the connection's two ends are one socket. An end that cannot be read is no link either.
bool MetItself() {
  sockaddr_in local = {};
  sockaddr_in peer = {};
  int localSize = sizeof(local);
  int peerSize = sizeof(peer);
  if (getsockname(ServerSocket, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
      getpeername(ServerSocket, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0) {
    return true;
  }
  return local.sin_port == peer.sin_port && local.sin_addr.s_addr == peer.sin_addr.s_addr;
}

SocketState ConnectionMade() {
  if (MetItself()) {
    // Reset rather than closed: a closed connection would hold the console port for a minute
    // afterwards, and a console program started meanwhile could not listen on it.
    linger reset = {};
    reset.l_onoff = 1;
    setsockopt(ServerSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof(reset));
    CloseServerSocket();
  } else {
    ServerState = SocketState::kConnected;
  }
  return ServerState;
}

}  // namespace

bool StartSockets() {
  WSADATA wsaData;
  if (!SocketsStarted) SocketsStarted = WSAStartup(MAKEWORD(2, 2), &wsaData) == 0;
  return SocketsStarted;
}

SocketOpening OpenServerSocket() {
  CloseServerSocket();
  ServerSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (ServerSocket == INVALID_SOCKET) return SocketOpening::kNoSocket;
  if (!MakeNonBlocking()) {
    CloseServerSocket();
    return SocketOpening::kBlocking;
  }
  return SocketOpening::kOpened;
}

SocketState ServerSocketState() {
  return ServerState;
}

SocketState StartConnecting() {
  if (ServerSocket == INVALID_SOCKET) return ServerState;
  const sockaddr_in server = ServerAddress();
  if (connect(ServerSocket, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) == 0) {
    return ConnectionMade();
  }
  if (WouldBlock()) {
    ServerState = SocketState::kConnecting;
  } else {
    CloseServerSocket();
  }
  return ServerState;
}

SocketState CheckConnecting(std::chrono::milliseconds wait) {
  if (ServerState != SocketState::kConnecting) return ServerState;
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(ServerSocket, &writable);
  FD_SET(ServerSocket, &failed);
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
  timeval timeout = {};
  timeout.tv_sec = static_cast<long>(seconds.count());
  timeout.tv_usec = static_cast<long>(
      std::chrono::duration_cast<std::chrono::microseconds>(wait - seconds).count());
  const int ready = select(0, nullptr, &writable, &failed, &timeout);
  if (ready == 0) return ServerState;
  int error = 0;
  int errorSize = sizeof(error);
  const bool gotError = getsockopt(ServerSocket, SOL_SOCKET, SO_ERROR,
                                   reinterpret_cast<char*>(&error), &errorSize) == 0;
  if (ready > 0 && FD_ISSET(ServerSocket, &writable) && gotError && error == 0) {
    return ConnectionMade();
  }
  CloseServerSocket();
  return ServerState;
}

void CloseServerSocket() {
  if (ServerSocket != INVALID_SOCKET) closesocket(ServerSocket);
  ServerSocket = INVALID_SOCKET;
  ServerState = SocketState::kClosed;
}

ReceiveStatus ReceiveFromServer(char* buffer, std::size_t length) {
  if (ServerState != SocketState::kConnected) return ReceiveStatus::kNothing;
  const int received = recv(ServerSocket, buffer, static_cast<int>(length), 0);
  if (received > 0) return ReceiveStatus::kReceived;
  // Zero bytes: the console program closed its end.
  if (received == 0 || !WouldBlock()) return ReceiveStatus::kLost;
  return ReceiveStatus::kNothing;
}

SendResult SendToServer(std::string_view bytes) {
  if (ServerState != SocketState::kConnected) return {SendStatus::kNoConnection, 0};
  const int sent = send(ServerSocket, bytes.data(), static_cast<int>(bytes.size()), 0);
  if (sent != SOCKET_ERROR) return {SendStatus::kTaken, static_cast<std::size_t>(sent)};
  // A full connection takes nothing now, and may take the bytes on a later pass.
  if (WouldBlock()) return {SendStatus::kTaken, 0};
  return {SendStatus::kFailed, 0};
}
