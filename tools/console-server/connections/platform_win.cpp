#include "connections/socket_calls.h"
// After winsock2.h, which socket_calls.h includes first.
#include <windows.h>

#include "common/os_error.h"
#include "connections/connection_policy.h"

static_assert(kMostConnections + 1 <= FD_SETSIZE, "select must watch every connection");

namespace {

// Sockets are inheritable by default: a program of a rule, or what it leaves running, must
// never hold the port or the game's connection.
void KeepFromPrograms(SOCKET socket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

Socket NewStreamSocket() {
  const SOCKET created = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                    WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (created == INVALID_SOCKET) return kNoSocket;
  KeepFromPrograms(created);
  return static_cast<Socket>(created);
}

void SetAddressOption(Socket listener) {
  BOOL exclusive = TRUE;
  setsockopt(Native(listener), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&exclusive), sizeof(exclusive));
}

Socket AcceptNotInherited(Socket listener, sockaddr_in& address, AddressLength& length) {
  const SOCKET accepted = accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (accepted == INVALID_SOCKET) return kNoSocket;
  KeepFromPrograms(accepted);
  return static_cast<Socket>(accepted);
}

// Winsock's codes are system error codes.
Reason SocketFailure() {
  return {OsErrorText(static_cast<unsigned long>(WSAGetLastError()))};
}

Result<> StartSockets() {
  WSADATA data;
  const int failure = WSAStartup(MAKEWORD(2, 2), &data);
  if (failure != 0) return Reason{OsErrorText(static_cast<unsigned long>(failure))};
  return Done{};
}

std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs) {
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

void CloseSocket(Socket socket) {
  closesocket(Native(socket));
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_s(&local, &time);
  return local;
}
