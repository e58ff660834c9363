// The link to the console program, kept in one place: the set-up's first attempt and every later
// one go through here, and every line about the link is written here. Found again whenever the
// console program listens, and given up, with a log line, when it goes. Only the worker uses it.
#pragma once

#include <chrono>

using LinkClock = std::chrono::steady_clock;

// The link's log lines (docs/log-lines.md). The set-up writes the first six, each step that
// fails or the link made; a retry writes only a link made.
constexpr const char* kWinsockFailed = "[Console] Can't Initialize winsock!";
constexpr const char* kCreateSocket = "[Console] [Server] Create the socket";
constexpr const char* kInvalidSocket = "[Console] [Server] INVALID_SOCKET";
constexpr const char* kNonBlockingFailed = "[Console] [Server] Non-blocking check fail";
constexpr const char* kConnectFailed = "[Console] [Server] Failed";
constexpr const char* kConnectSucceeded = "[Console] [Server] Success";
constexpr const char* kConnectedAgain = "[Console] [Server] Connected again";
constexpr const char* kConnectionLost = "[Console] [Server] Connection lost";

// The set-up's attempt: logs each step, and waits at most kFirstConnectWait for the console
// program to take the connection. The set-up goes on whether a link was made or not, and the
// passes look again while there is none.
void ConnectToServer();

// Called at the start of a pass that has no link (with one it does nothing). Starts a connect
// every kConnectRetry and looks at the one under way, without waiting; logs a link that is made.
void KeepServerLink(LinkClock::time_point now);

// Closes a connection that a receive or send found gone, logs that once, and leaves the next
// attempt to KeepServerLink.
void LoseServerLink();
