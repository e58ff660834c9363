// TCP sockets and the local time. platform_sockets.cpp writes the socket logic once, over the few
// calls that differ (socket_calls.h), which platform_posix.cpp and platform_win.cpp hold with
// the waiting and the local time. The rest of console-server is the same everywhere.
// No socket is inherited by a program that console-server runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

// Wide enough for both a Winsock SOCKET and a POSIX descriptor; kNoSocket is INVALID_SOCKET and
// -1 alike.
using Socket = std::uintptr_t;
constexpr Socket kNoSocket = ~Socket{0};

// Starts Winsock on Windows; on POSIX, keeps a send to a closed connection from killing the
// program (SIGPIPE).
Result<> StartSockets();

struct Listener {
  Socket socket = kNoSocket;
  int port = 0;  // the port it is bound to
};

// A listening socket on 127.0.0.1:port (0: any free port).
Result<Listener> ListenOnLoopback(int port);

struct Accepted {
  Socket socket = kNoSocket;
  std::string peer;  // "address:port"
};

// Takes the next connection of a listening socket.
Result<Accepted> AcceptConnection(Socket listener);

// Waits at most timeoutMs for any of the sockets to be readable (or, for a listener, to have a
// connection waiting); the answer tells which, in the same order. A wait that fails finds none
// readable, as one that times out: the main loop waits again either way.
std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs);

// The number of bytes received, 0 when the peer closed the connection.
Result<std::size_t> ReceiveBytes(Socket socket, char* buffer, std::size_t length);

// Sends all the bytes (with one send whenever the system takes them at once).
Result<> SendBytes(Socket socket, std::string_view bytes);

void CloseSocket(Socket socket);

std::tm LocalTime(std::time_t time);
