// The one TCP connection to the console program on this machine. These are the system's socket
// calls and nothing more: they never log, and leave to relay/server_link.h when to connect, what
// to log and what a lost link means for the lines. They say what happened, not why not: the
// relay acts on the state, and the system's reason for a refused connect or a reset changes
// nothing it does.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

// Starts Windows Sockets, unless it started before. False when it cannot be started (now).
bool StartSockets();

enum class SocketOpening {
  kOpened,    // a socket that does not block, ready to connect
  kNoSocket,  // the system made no socket
  kBlocking,  // the socket could not be made non-blocking, and is closed: a blocking receive
              // would hold the relay, and the chat would go unwatched
};

// Closes whatever socket there is and opens a new one for the next connect.
SocketOpening OpenServerSocket();

enum class SocketState {
  kClosed,      // no socket: nothing sent or received
  kConnecting,  // a connect that does not wait was started; its outcome is not known yet
  kConnected,   // lines go, and messages come
};

SocketState ServerSocketState();

// Starts a connect on the socket just opened, without waiting. A connect that comes through at
// once is checked as CheckConnecting checks one.
SocketState StartConnecting();

// Waits at most `wait` (zero: not at all) for the connect under way. A failed connect is closed,
// and so is one that came through to its own socket: the console port lies in the system's range
// of local ports, so while nothing listens a connect can meet itself, and no console program is
// at its other end.
SocketState CheckConnecting(std::chrono::milliseconds wait);

void CloseServerSocket();

enum class ReceiveStatus {
  kReceived,  // some bytes arrived
  kNothing,   // nothing arrived now, or there is no connection to receive on
  kLost,      // the console program closed the connection, or it broke
};

// One receive of at most length bytes into buffer.
ReceiveStatus ReceiveFromServer(char* buffer, std::size_t length);

enum class SendStatus {
  kTaken,         // the connection took `taken` bytes: all, some, or none when it had no room
  kNoConnection,  // there is no connection now: nothing goes
  kFailed,        // the send failed, as on a connection that broke: none of the bytes went
};

struct SendResult {
  SendStatus status;
  std::size_t taken;  // how many of the bytes went, from their start
};

// One send of the bytes; the non-blocking socket takes what it has room for now.
SendResult SendToServer(std::string_view bytes);
