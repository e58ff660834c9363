// The socket calls that differ between POSIX and Windows, each a few lines in platform_posix.cpp
// or platform_win.cpp. platform_sockets.cpp writes the rest once on top of them.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
using NativeSocket = SOCKET;
using AddressLength = int;
using PollEntry = WSAPOLLFD;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
using NativeSocket = int;
using AddressLength = socklen_t;
#endif  // _WIN32

#include "connections/platform.h"

inline NativeSocket Native(Socket socket) {
  return static_cast<NativeSocket>(socket);
}

// A TCP socket that no program of a rule inherits (it must never hold the port or the game's
// connection); kNoSocket when none could be made.
Socket NewStreamSocket();

// Sets the listener's address option: on POSIX a restart right after a stop binds at once; on
// Windows no other program can bind the port beside this one and take the game's connections.
void SetAddressOption(Socket listener);

// Takes a connection, not inherited by programs either; kNoSocket when none is taken.
Socket AcceptNotInherited(Socket listener, sockaddr_in& address, AddressLength& length);

// Makes a socket's calls return at once instead of waiting.
bool SetNonBlocking(Socket socket);

// What the last socket call's failure means to the loop.
enum class SocketError {
  kWouldBlock,     // nothing to do now: try when the socket is ready
  kNoDescriptors,  // no descriptor or buffer left for a new connection
  kPeerGone,       // the peer reset the connection (before it was accepted, or since)
  kOther,
};
SocketError LastSocketError();

// Why the last socket call failed, in the system's words.
Reason SocketFailure();

#ifdef _WIN32
// WSAPoll: the number of entries ready, or less than 1 for none.
int PollSockets(PollEntry* entries, std::size_t count, int timeoutMs);
#endif  // _WIN32
