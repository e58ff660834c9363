#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

bool SetNonBlocking(Socket socket) {
  const int flags = fcntl(Native(socket), F_GETFL);
  return flags >= 0 && fcntl(Native(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

SocketError LastSocketError() {
  switch (errno) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif  // EWOULDBLOCK != EAGAIN
    case EINTR:
      return SocketError::kWouldBlock;
    case ECONNABORTED:
    case ECONNRESET:
      return SocketError::kPeerGone;
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
      return SocketError::kNoDescriptors;
    default:
      return SocketError::kOther;
  }
}

Reason SocketFailure() {
  return {OsErrorText(LastOsError())};
}

Result<std::size_t> StartSockets() {
  signal(SIGPIPE, SIG_IGN);
  // Each connection holds a descriptor: take every one the system allows.
  rlimit limit = {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return SocketFailure();
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  constexpr rlim_t kAsMany = rlim_t{1} << 20;
  return static_cast<std::size_t>(
      limit.rlim_cur == RLIM_INFINITY ? kAsMany : std::min(limit.rlim_cur, kAsMany));
}

void CloseSocket(Socket socket) {
  close(Native(socket));
}
