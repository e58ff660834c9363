#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include "common/os_error.h"
#include "connections/socket_calls.h"

Socket NewStreamSocket() {
  // Close-on-exec: a program of a rule, or what it leaves running, must never hold the port.
  const int created = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  return created < 0 ? kNoSocket : static_cast<Socket>(created);
}

void SetAddressOption(Socket listener) {
  int reuse = 1;
  setsockopt(Native(listener), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
}

Socket AcceptNotInherited(Socket listener, sockaddr_in& address, AddressLength& length) {
  const int accepted =
      accept4(Native(listener), reinterpret_cast<sockaddr*>(&address), &length, SOCK_CLOEXEC);
  return accepted < 0 ? kNoSocket : static_cast<Socket>(accepted);
}

Reason SocketFailure() {
  return {OsErrorText(LastOsError())};
}

Result<> StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  return Done{};
}

std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs) {
  std::vector<pollfd> watched;
  for (const Socket socket : sockets) watched.push_back({Native(socket), POLLIN, 0});
  std::vector<bool> readable(sockets.size(), false);
  if (poll(watched.data(), watched.size(), timeoutMs) <= 0) return readable;
  for (std::size_t i = 0; i < watched.size(); ++i) readable[i] = watched[i].revents != 0;
  return readable;
}

void CloseSocket(Socket socket) {
  close(Native(socket));
}

std::tm LocalTime(std::time_t time) {
  std::tm local = {};
  localtime_r(&time, &local);
  return local;
}
