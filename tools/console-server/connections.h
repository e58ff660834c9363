// The connections to console-server's port, and which one is the game's. The plugin connects
// again every 2 s while it has no connection, so a connection that sends nothing cannot keep
// the game out:
// - while the game's connection has sent no command line, more connections are kept, and the
//   first of them to send one becomes the game's (the silent one before it is closed);
// - once the game's connection has sent a command line, a new connection is closed at once;
// - the first 8 KiB of every connection, in as many pieces as they come, are held until they
//   cannot begin an HTTP request or a TLS handshake (or for 500 ms at most): a connection that
//   begins so is closed, and nothing of it is taken for a command line.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

#include "platform.h"

using CommandLineHandler = std::function<void(std::string_view line)>;

// The game's connection, where messages go, or kNoSocket.
Socket GameConnection();

// Every open connection, for the main loop to watch.
std::vector<Socket> OpenConnections();

// Takes the next connection waiting on the listener.
void AcceptNewConnection(Socket listener);

// Reads what a connection sent; a command line that it makes the game's goes to onCommandLine.
void ReceiveFrom(Socket connection, const CommandLineHandler& onCommandLine);

// Lets the bytes that waited long enough for the rest of a web request go as a command line.
void ReleaseHeldBytes(const CommandLineHandler& onCommandLine);
