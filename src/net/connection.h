// The one TCP connection to the console program on this machine.
#pragma once

#include <cstddef>
#include <string_view>

// Connects to the console program and makes the socket non-blocking; logs each step.
// Returns true when the socket is connected and non-blocking.
bool ConnectToServer();

// One receive of at most length bytes into buffer; whatever it returns is not looked at.
void ReceiveFromServer(char* buffer, std::size_t length);

enum class SendStatus {
  kTaken,         // the connection took `taken` bytes: all, some, or none when it had no room
  kNoConnection,  // there is no connection, and will not be: nothing goes
  kFailed,        // the send failed, as on a connection that broke: none of the bytes went
};

struct SendResult {
  SendStatus status;
  std::size_t taken;  // how many of the bytes went, from their start
};

// One send of the bytes; the non-blocking socket takes what it has room for now.
SendResult SendToServer(std::string_view bytes);
