// The one TCP connection to the console program on this machine. These are the system's socket
// calls and nothing more; when to connect again, and what a lost link means for the lines, is
// decided in relay/server_link.h. They say what happened, not why not: the relay acts on the
// state, and the system's reason for a refused connect or a reset changes nothing it does.
#pragma once

#include <cstddef>
#include <string_view>

// The first attempt, at set-up: connects (waiting for the outcome) and makes the socket
// non-blocking; logs each step. Returns true when the socket is connected and non-blocking.
bool ConnectToServer();

enum class SocketState {
  kClosed,      // no socket: nothing sent or received
  kConnecting,  // a connect that does not wait was started; its outcome is not known yet
  kConnected,   // lines go, and messages come
};

SocketState ServerSocketState();

// Closes whatever socket there is and starts a connect that does not wait; logs nothing. A socket
// that cannot be made non-blocking is closed rather than connected.
SocketState StartConnecting();

// Looks, without waiting, whether the connect started has come through; a failed one is closed.
SocketState CheckConnecting();

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
