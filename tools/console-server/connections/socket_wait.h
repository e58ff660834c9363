// The loop's one wait: until a watched socket is ready, another thread wakes it, or a time comes.
// Linux waits with epoll (socket_wait_posix.cpp), whose cost grows with the sockets that are
// ready, not with those watched; Windows with WSAPoll (socket_wait_win.cpp), one call for all
// the sockets, which under Wine is one round trip to the wineserver.
#pragma once

#include <chrono>
#include <memory>
#include <vector>

#include "common/result.h"
#include "connections/platform.h"

struct ReadySocket {
  Socket socket = kNoSocket;
  Ready ready;
};

class SocketWait {
 public:
  // The wait, with what wakes it (an eventfd on Linux, a loopback socket pair on Windows).
  static Result<std::unique_ptr<SocketWait>> Start();
  ~SocketWait();
  SocketWait(const SocketWait&) = delete;
  SocketWait& operator=(const SocketWait&) = delete;

  // Ends the Wait under way, or the next one, at once; from any thread.
  void Wake();

  // Waits at most timeout for the watched sockets; the ones ready, each once. A wake or a wait
  // that fails finds none ready, as one that times out: the loop waits again.
  std::vector<ReadySocket> Wait(const std::vector<Watch>& watches,
                                std::chrono::milliseconds timeout);

  // The socket is about to be closed: its number may come back for another socket.
  void Forget(Socket socket);

  struct State;

 private:
  explicit SocketWait(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};
