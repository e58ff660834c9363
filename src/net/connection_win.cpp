#include "net/connection.h"

#include <winsock2.h>

#include <cstdint>

#include "host/log.h"
#include "plugin_numbers.h"

namespace {

// The connection to the console program, and how far it got. Written by ConnectToServer at
// set-up, and from then on by the relay's retries and by a receive or send that finds the
// connection gone; only the worker touches them.
SOCKET ServerSocket = INVALID_SOCKET;
SocketState ServerState = SocketState::kClosed;

constexpr const char* kServerAddress = "127.0.0.1";

constexpr const char* kWinsockFailed = "[Console] Can't Initialize winsock!";
constexpr const char* kCreateSocket = "[Console] [Server] Create the socket";
constexpr const char* kInvalidSocket = "[Console] [Server] INVALID_SOCKET";
constexpr const char* kConnectFailed = "[Console] [Server] Failed";
constexpr const char* kNonBlockingFailed = "[Console] [Server] Non-blocking check fail";
constexpr const char* kConnected = "[Console] [Server] Success";

sockaddr_in ServerAddress() {
  sockaddr_in server = {};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = inet_addr(kServerAddress);
  server.sin_port = htons(kServerPort);
  return server;
}

int Connect(const sockaddr_in& server) {
  return connect(ServerSocket, reinterpret_cast<const sockaddr*>(&server), sizeof(server));
}

// Non-blocking, so that the receive of every pass returns at once when nothing has arrived.
bool MakeNonBlocking() {
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned constant with its top bit set; ioctlsocket takes the same bits as long.
  return ioctlsocket(ServerSocket, static_cast<long>(FIONBIO), &nonBlocking) == 0;
}

// Whether a failed call left the socket as it was: nothing to read, or no room to write, now.
bool WouldBlock() {
  return WSAGetLastError() == WSAEWOULDBLOCK;
}

}  // namespace

bool ConnectToServer() {
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
    Log(loader::INFO, kWinsockFailed);
    return false;
  }

  const sockaddr_in server = ServerAddress();
  Log(loader::INFO, kCreateSocket);

  ServerSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (ServerSocket == INVALID_SOCKET) {
    Log(loader::INFO, kInvalidSocket);
    return false;
  }
  if (Connect(server) == SOCKET_ERROR) {
    Log(loader::INFO, kConnectFailed);
    CloseServerSocket();
    return false;
  }
  // A connection left blocking still carries lines; each receive then waits for a message.
  ServerState = SocketState::kConnected;
  if (!MakeNonBlocking()) {
    Log(loader::INFO, kNonBlockingFailed);
    return false;
  }
  Log(loader::INFO, kConnected);
  return true;
}

SocketState ServerSocketState() {
  return ServerState;
}

SocketState StartConnecting() {
  CloseServerSocket();
  ServerSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (ServerSocket == INVALID_SOCKET) return ServerState;
  // The connect must not wait: a refused connect to this machine can take seconds, while the
  // chat has to be watched.
  if (!MakeNonBlocking()) {
    CloseServerSocket();
    return ServerState;
  }
  if (Connect(ServerAddress()) == 0) {
    ServerState = SocketState::kConnected;
  } else if (WouldBlock()) {
    ServerState = SocketState::kConnecting;
  } else {
    CloseServerSocket();
  }
  return ServerState;
}

SocketState CheckConnecting() {
  if (ServerState != SocketState::kConnecting) return ServerState;
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(ServerSocket, &writable);
  FD_SET(ServerSocket, &failed);
  timeval noWait = {};
  if (select(0, nullptr, &writable, &failed, &noWait) == 0) return ServerState;
  int error = 0;
  int errorSize = sizeof(error);
  const bool gotError = getsockopt(ServerSocket, SOL_SOCKET, SO_ERROR,
                                   reinterpret_cast<char*>(&error), &errorSize) == 0;
  if (FD_ISSET(ServerSocket, &writable) && gotError && error == 0) {
    ServerState = SocketState::kConnected;
  } else {
    CloseServerSocket();
  }
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
