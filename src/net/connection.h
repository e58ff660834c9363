// The one TCP connection to the console program on this machine.
#pragma once

#include <cstddef>
#include <string_view>

// Connects to the console program and makes the socket non-blocking; logs each step.
// Returns true when the socket is connected and non-blocking.
bool ConnectToServer();

// One receive of at most length bytes into buffer; whatever it returns is not looked at.
void ReceiveFromServer(char* buffer, std::size_t length);

// One send of the bytes; a failed or partial send is not retried.
void SendToServer(std::string_view bytes);
