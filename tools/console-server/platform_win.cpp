#include <winsock2.h>

#include "common/os_error.h"
#include "platform.h"

namespace {

SOCKET Native(Socket socket) {
  return static_cast<SOCKET>(socket);
}

std::string AddressText(const sockaddr_in& address) {
  const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
  return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' +
         std::to_string((ip >> 8) & 0xFF) + '.' + std::to_string(ip & 0xFF) + ':' +
         std::to_string(ntohs(address.sin_port));
}

// Why the last socket call failed, in the system's words: Winsock's codes are system error codes.
Reason SocketFailure() {
  return {OsErrorText(static_cast<unsigned long>(WSAGetLastError()))};
}

// Sockets are inheritable by default: a program of a rule, or what it leaves running, must
// never hold the port or the game's connection.
void KeepFromPrograms(SOCKET socket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

Result<> StartSockets() {
  WSADATA data;
  const int failure = WSAStartup(MAKEWORD(2, 2), &data);
  if (failure != 0) return Reason{OsErrorText(static_cast<unsigned long>(failure))};
  return Done{};
}

Result<Listener> ListenOnLoopback(int port) {
  const SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (listener == INVALID_SOCKET) return SocketFailure();
  KeepFromPrograms(listener);
  // No other program may bind the port beside this one and take the game's connections.
  BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof(exclusive));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  // Port 0 binds any free port: the address then tells which.
  int length = sizeof(address);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const Reason why = SocketFailure();
    closesocket(listener);
    return why;
  }
  return Listener{static_cast<Socket>(listener), ntohs(address.sin_port)};
}

Result<Accepted> AcceptConnection(Socket listener) {
  sockaddr_in address = {};
  int length = sizeof(address);
  const SOCKET connection =
      accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (connection == INVALID_SOCKET) return SocketFailure();
  KeepFromPrograms(connection);
  return Accepted{static_cast<Socket>(connection), AddressText(address)};
}

std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs) {
  // console-server watches a handful of sockets, far below FD_SETSIZE (64).
  fd_set readable;
  FD_ZERO(&readable);
  for (const Socket socket : sockets) FD_SET(Native(socket), &readable);
  timeval timeout = {};
  timeout.tv_sec = timeoutMs / 1000;
  timeout.tv_usec = (timeoutMs % 1000) * 1000;
  std::vector<bool> result(sockets.size(), false);
  // Winsock ignores the first argument.
  if (select(0, &readable, nullptr, nullptr, &timeout) <= 0) return result;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    result[i] = FD_ISSET(Native(sockets[i]), &readable) != 0;
  }
  return result;
}

Result<std::size_t> ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  const int received = recv(Native(socket), buffer, static_cast<int>(length), 0);
  if (received == SOCKET_ERROR) return SocketFailure();
  return static_cast<std::size_t>(received);
}

Result<std::size_t> PeekBytes(Socket socket, char* buffer, std::size_t length) {
  const int received = recv(Native(socket), buffer, static_cast<int>(length), MSG_PEEK);
  if (received == SOCKET_ERROR) return SocketFailure();
  return static_cast<std::size_t>(received);
}

Result<> SendBytes(Socket socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const int sent = send(Native(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return SocketFailure();
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return Done{};
}

void CloseSocket(Socket socket) {
  closesocket(Native(socket));
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_s(&local, &time);
  return local;
}
