#include "connections/socket_calls.h"
// After winsock2.h, which socket_calls.h includes first.
#include <windows.h>

#include <limits>

#include "common/os_error.h"

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

bool SetNonBlocking(Socket socket) {
  u_long nonBlocking = 1;
  return ioctlsocket(Native(socket), FIONBIO, &nonBlocking) == 0;
}

SocketError LastSocketError() {
  switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK:
    case WSAEINTR:
      return SocketError::kWouldBlock;
    // Wine fails an accept of a connection reset in the queue with WSAENOTCONN.
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case WSAENOTCONN:
      return SocketError::kPeerGone;
    case WSAEMFILE:
    case WSAENOBUFS:
      return SocketError::kNoDescriptors;
    default:
      return SocketError::kOther;
  }
}

// Winsock's codes are system error codes.
Reason SocketFailure() {
  return {OsErrorText(static_cast<unsigned long>(WSAGetLastError()))};
}

int PollSockets(PollEntry* entries, std::size_t count, int timeoutMs) {
  return WSAPoll(entries, static_cast<ULONG>(count), timeoutMs);
}

Result<std::size_t> StartSockets() {
  WSADATA data;
  const int failure = WSAStartup(MAKEWORD(2, 2), &data);
  if (failure != 0) return Reason{OsErrorText(static_cast<unsigned long>(failure))};
  return std::numeric_limits<std::size_t>::max();
}

void CloseSocket(Socket socket) {
  closesocket(Native(socket));
}
