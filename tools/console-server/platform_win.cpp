#include <winsock2.h>

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

// Sockets are inheritable by default: a program of a rule, or what it leaves running, must
// never hold the port or the game's connection.
void KeepFromPrograms(SOCKET socket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
}

}  // namespace

bool StartSockets() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

Socket ListenOnLoopback(int port, std::string& error) {
  const SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                     WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (listener == INVALID_SOCKET) {
    error = SocketError();
    return kNoSocket;
  }
  KeepFromPrograms(listener);
  // No other program may bind the port beside this one and take the game's connections.
  BOOL exclusive = TRUE;
  setsockopt(listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof(exclusive));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0) {
    error = SocketError();
    closesocket(listener);
    return kNoSocket;
  }
  return static_cast<Socket>(listener);
}

int LocalPort(Socket socket) {
  sockaddr_in address = {};
  int length = sizeof(address);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

Socket AcceptConnection(Socket listener, std::string& peer) {
  sockaddr_in address = {};
  int length = sizeof(address);
  const SOCKET connection =
      accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (connection == INVALID_SOCKET) return kNoSocket;
  KeepFromPrograms(connection);
  peer = AddressText(address);
  return static_cast<Socket>(connection);
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

long long ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  return recv(Native(socket), buffer, static_cast<int>(length), 0);
}

long long PeekBytes(Socket socket, char* buffer, std::size_t length) {
  return recv(Native(socket), buffer, static_cast<int>(length), MSG_PEEK);
}

bool SendBytes(Socket socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const long long sent = send(Native(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void CloseSocket(Socket socket) {
  closesocket(Native(socket));
}

std::string SocketError() {
  const int code = WSAGetLastError();
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(code), 0, text, sizeof(text), nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Winsock error " + std::to_string(code) : message;
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_s(&local, &time);
  return local;
}
