#include "platform.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif  // _WIN32

namespace {

// The socket handle, and the length argument of getsockname and accept.
#ifdef _WIN32
using NativeSocket = SOCKET;
using AddressLength = int;
#else
using NativeSocket = int;
using AddressLength = socklen_t;
#endif  // _WIN32

NativeSocket Native(Socket socket) {
  return static_cast<NativeSocket>(socket);
}

std::string AddressText(const sockaddr_in& address) {
  const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
  return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' +
         std::to_string((ip >> 8) & 0xFF) + '.' + std::to_string(ip & 0xFF) + ':' +
         std::to_string(ntohs(address.sin_port));
}

long long Receive(Socket socket, char* buffer, std::size_t length, int flags) {
#ifdef _WIN32
  return recv(Native(socket), buffer, static_cast<int>(length), flags);
#else
  return recv(Native(socket), buffer, length, flags);
#endif  // _WIN32
}

}  // namespace

bool StartSockets() {
#ifdef _WIN32
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
#else
  signal(SIGPIPE, SIG_IGN);
  return true;
#endif  // _WIN32
}

Socket ListenOnLoopback(int port, std::string& error) {
  const NativeSocket listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (static_cast<Socket>(listener) == kNoSocket) {
    error = SocketError();
    return kNoSocket;
  }
#ifndef _WIN32
  // A restart right after a stop must not wait for the old connections to time out.
  int reuse = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
#endif  // !_WIN32
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0) {
    error = SocketError();
    CloseSocket(static_cast<Socket>(listener));
    return kNoSocket;
  }
  return static_cast<Socket>(listener);
}

int LocalPort(Socket socket) {
  sockaddr_in address = {};
  AddressLength length = sizeof(address);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

Socket AcceptConnection(Socket listener, std::string& peer) {
  sockaddr_in address = {};
  AddressLength length = sizeof(address);
  const NativeSocket connection =
      accept(Native(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (static_cast<Socket>(connection) == kNoSocket) return kNoSocket;
  peer = AddressText(address);
  return static_cast<Socket>(connection);
}

Readable WaitReadable(Socket listener, Socket connection, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  NativeSocket highest = 0;
  for (const Socket watched : {listener, connection}) {
    if (watched == kNoSocket) continue;
    FD_SET(Native(watched), &readable);
    if (Native(watched) > highest) highest = Native(watched);
  }
  timeval timeout = {};
  timeout.tv_sec = timeoutMs / 1000;
  timeout.tv_usec = (timeoutMs % 1000) * 1000;
  // Winsock ignores the first argument.
  Readable result;
  if (select(static_cast<int>(highest) + 1, &readable, nullptr, nullptr, &timeout) <= 0) {
    return result;
  }
  result.listener = listener != kNoSocket && FD_ISSET(Native(listener), &readable) != 0;
  result.connection = connection != kNoSocket && FD_ISSET(Native(connection), &readable) != 0;
  return result;
}

long long ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  return Receive(socket, buffer, length, 0);
}

long long PeekBytes(Socket socket, char* buffer, std::size_t length) {
  return Receive(socket, buffer, length, MSG_PEEK);
}

bool SendBytes(Socket socket, std::string_view bytes) {
  while (!bytes.empty()) {
#ifdef _WIN32
    const long long sent = send(Native(socket), bytes.data(), static_cast<int>(bytes.size()), 0);
#else
    const long long sent = send(Native(socket), bytes.data(), bytes.size(), 0);
#endif  // _WIN32
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void CloseSocket(Socket socket) {
#ifdef _WIN32
  closesocket(Native(socket));
#else
  close(Native(socket));
#endif  // _WIN32
}

std::string SocketError() {
#ifdef _WIN32
  const int code = WSAGetLastError();
  char text[256] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 static_cast<DWORD>(code), 0, text, sizeof(text), nullptr);
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Winsock error " + std::to_string(code) : message;
#else
  return std::strerror(errno);
#endif  // _WIN32
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
#ifdef _WIN32
  localtime_s(&local, &time);
#else
  localtime_r(&time, &local);
#endif  // _WIN32
  return local;
}
