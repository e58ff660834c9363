#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/os_error.h"
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

// Why the last socket call failed, in the system's words.
Reason SocketFailure() {
  return {OsErrorText(LastOsError())};
}

}  // namespace

Result<> StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  return Done{};
}

Result<Listener> ListenOnLoopback(int port) {
  // Close-on-exec: a program of a rule, or what it leaves running, must never hold the port.
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (listener < 0) return SocketFailure();
  // A restart right after a stop must not wait for the old connections to time out.
  int reuse = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  // Port 0 binds any free port: the address then tells which.
  socklen_t length = sizeof(address);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 4) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const Reason why = SocketFailure();
    close(listener);
    return why;
  }
  return Listener{static_cast<Socket>(listener), ntohs(address.sin_port)};
}

Result<Accepted> AcceptConnection(Socket listener) {
  sockaddr_in address = {};
  socklen_t length = sizeof(address);
  const int connection =
      accept4(Native(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  if (connection < 0) return SocketFailure();
  return Accepted{static_cast<Socket>(connection), AddressText(address)};
}

std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs) {
  std::vector<pollfd> watched;
  for (const Socket socket : sockets) watched.push_back({Native(socket), POLLIN, 0});
  std::vector<bool> readable(sockets.size(), false);
  if (poll(watched.data(), watched.size(), timeoutMs) <= 0) return readable;
  for (std::size_t i = 0; i < watched.size(); ++i) readable[i] = watched[i].revents != 0;
  return readable;
}

Result<std::size_t> ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  const ssize_t received = recv(Native(socket), buffer, length, 0);
  if (received < 0) return SocketFailure();
  return static_cast<std::size_t>(received);
}

Result<std::size_t> PeekBytes(Socket socket, char* buffer, std::size_t length) {
  const ssize_t received = recv(Native(socket), buffer, length, MSG_PEEK);
  if (received < 0) return SocketFailure();
  return static_cast<std::size_t>(received);
}

Result<> SendBytes(Socket socket, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t sent = send(Native(socket), bytes.data(), bytes.size(), 0);
    if (sent <= 0) return SocketFailure();
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return Done{};
}

void CloseSocket(Socket socket) {
  close(Native(socket));
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_r(&time, &local);
  return local;
}
