// The few things that differ between POSIX and Windows: TCP sockets and the local time, in
// platform_posix.cpp and platform_win.cpp. The rest of console-server is the same everywhere.
// No socket is inherited by a program that console-server runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// Wide enough for both a Winsock SOCKET and a POSIX descriptor; kNoSocket is INVALID_SOCKET and
// -1 alike.
using Socket = std::uintptr_t;
constexpr Socket kNoSocket = ~Socket{0};

// Starts Winsock on Windows; on POSIX, keeps a send to a closed connection from killing the
// program (SIGPIPE).
bool StartSockets();

// A listening socket on 127.0.0.1:port (0: any free port), or kNoSocket and why in error.
Socket ListenOnLoopback(int port, std::string& error);

// The port a socket is bound to.
int LocalPort(Socket socket);

// Takes the next connection of a listening socket; peer gets "address:port".
Socket AcceptConnection(Socket listener, std::string& peer);

// Waits at most timeoutMs for any of the sockets to be readable (or, for a listener, to have a
// connection waiting); the answer tells which, in the same order.
std::vector<bool> WaitReadable(const std::vector<Socket>& sockets, int timeoutMs);

// What recv returns: the number of bytes, 0 when the peer closed the connection, less on error.
long long ReceiveBytes(Socket socket, char* buffer, std::size_t length);

// Like ReceiveBytes, but leaves the bytes to be received.
long long PeekBytes(Socket socket, char* buffer, std::size_t length);

// Sends all the bytes (with one send whenever the system takes them at once).
bool SendBytes(Socket socket, std::string_view bytes);

void CloseSocket(Socket socket);

// The system's text for the last socket error.
std::string SocketError();

std::tm LocalTime(std::time_t time);
