#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"

namespace {

int Native(Socket socket) {
  return static_cast<int>(socket);
}

std::string AddressText(const sockaddr_in& address) {
  const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
  return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' +
         std::to_string((ip >> 8) & 0xFF) + '.' + std::to_string(ip & 0xFF) + ':' +
         std::to_string(ntohs(address.sin_port));
}

}  // namespace

bool StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  return true;
}

Socket ListenOnLoopback(int port, std::string& error) {
  // Close-on-exec: a program of a rule, or what it leaves running, must never hold the port.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (listener < 0) {
    error = SocketError();
    return kNoSocket;
  }
  // A restart right after a stop must not wait for the old connections to time out.
  int reuse = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0) {
    error = SocketError();
    close(listener);
    return kNoSocket;
  }
  return static_cast<Socket>(listener);
}

int LocalPort(Socket socket) {
  sockaddr_in address = {};
  socklen_t length = sizeof(address);
  if (getsockname(Native(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
  return ntohs(address.sin_port);
}

Socket AcceptConnection(Socket listener, std::string& peer) {
  sockaddr_in address = {};
  socklen_t length = sizeof(address);
  const int connection =
      accept4(Native(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  if (connection < 0) return kNoSocket;
  peer = AddressText(address);
  return static_cast<Socket>(connection);
}

std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs) {
  std::vector<pollfd> watched;
  for (const Socket socket : sockets) watched.push_back({Native(socket), POLLIN, 0});
  std::vector<bool> readable(sockets.size(), false);
  if (poll(watched.data(), watched.size(), timeoutMs) <= 0) return readable;
  for (std::size_t i = 0; i < watched.size(); ++i) readable[i] = watched[i].revents != 0;
  return readable;
}

long long ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  return recv(Native(socket), buffer, length, 0);
}

long long PeekBytes(Socket socket, char* buffer, std::size_t length) {
  return recv(Native(socket), buffer, length, MSG_PEEK);
}

bool SendBytes(Socket socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const long long sent = send(Native(socket), bytes.data(), bytes.size(), 0);
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void CloseSocket(Socket socket) {
  close(Native(socket));
}

std::string SocketError() {
  return std::strerror(errno);
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_r(&time, &local);
  return local;
}
