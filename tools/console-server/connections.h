// The sockets of the open connections, each under the number that ConnectionPolicy knows it by.
// These functions only read, accept, close and send; what happens to a connection and its bytes
// is the policy's to decide (connection_policy.h), and the main loop applies its decisions.
#pragma once

#include <vector>

#include "connections/connection_policy.h"
#include "connections/platform.h"

// Every open connection's socket, for the main loop to watch.
std::vector<Socket> OpenSockets();

// Takes the next connection waiting on the listener.
Decisions AcceptNewConnection(Socket listener);

// Reads what a connection sent: one read, one command line (or the connection's end).
Decisions ReceiveFrom(Socket connection);

// Lets held reads go as command lines once they waited long enough for the rest of a web request.
Decisions ReleaseHeldBytes();

// Closes a connection's socket and drops the messages that wait for it.
void CloseConnection(ConnectionId connection);

// Sends each connection's next message whose time has come.
void SendDueMessages();
