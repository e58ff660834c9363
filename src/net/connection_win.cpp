#include "net/connection.h"

#include <winsock2.h>

#include <cstdint>

#include "host/log.h"
#include "plugin_numbers.h"

namespace {

// The connection to the console program. Written once by ConnectToServer, as soon as the socket
// is created; never closed.
SOCKET ServerSocket = INVALID_SOCKET;
// Set once the socket has connected; without it, lines are not sent and not kept.
bool ServerConnected = false;

constexpr const char* kServerAddress = "127.0.0.1";

constexpr const char* kWinsockFailed = "[Console] Can't Initialize winsock!";
constexpr const char* kCreateSocket = "[Console] [Server] Create the socket";
constexpr const char* kInvalidSocket = "[Console] [Server] INVALID_SOCKET";
constexpr const char* kConnectFailed = "[Console] [Server] Failed";
constexpr const char* kNonBlockingFailed = "[Console] [Server] Non-blocking check fail";
constexpr const char* kConnected = "[Console] [Server] Success";

}  // namespace

bool ConnectToServer() {
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) {
    Log(loader::INFO, kWinsockFailed);
    return false;
  }

  sockaddr_in server = {};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = inet_addr(kServerAddress);
  server.sin_port = htons(kServerPort);
  Log(loader::INFO, kCreateSocket);

  ServerSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (ServerSocket == INVALID_SOCKET) {
    Log(loader::INFO, kInvalidSocket);
    return false;
  }
  if (connect(ServerSocket, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) ==
      SOCKET_ERROR) {
    Log(loader::INFO, kConnectFailed);
    return false;
  }
  ServerConnected = true;
  // Non-blocking, so that the receive of every pass returns at once when nothing has arrived.
  u_long nonBlocking = 1;
  // FIONBIO is an unsigned constant with its top bit set; ioctlsocket takes the same bits as long.
  if (ioctlsocket(ServerSocket, static_cast<long>(FIONBIO), &nonBlocking) != 0) {
    Log(loader::INFO, kNonBlockingFailed);
    return false;
  }
  Log(loader::INFO, kConnected);
  return true;
}

void ReceiveFromServer(char* buffer, std::size_t length) {
  recv(ServerSocket, buffer, static_cast<int>(length), 0);
}

SendResult SendToServer(std::string_view bytes) {
  if (!ServerConnected) return {SendStatus::kNoConnection, 0};
  const int sent = send(ServerSocket, bytes.data(), static_cast<int>(bytes.size()), 0);
  if (sent != SOCKET_ERROR) return {SendStatus::kTaken, static_cast<std::size_t>(sent)};
  // A full connection takes nothing now, and may take the bytes on a later pass.
  if (WSAGetLastError() == WSAEWOULDBLOCK) return {SendStatus::kTaken, 0};
  return {SendStatus::kFailed, 0};
}
