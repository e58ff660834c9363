// Which connection gets what: the policy of console-server's connections, with no socket in it.
// The main loop hands it what happened (a connection opened, bytes arrived, a connection ended,
// time passed) under a number of its own for each connection, and applies what it decides.
//
// Every local client is served alike, the game being one of them: each command line is answered
// on the connection that sent it. A connection is closed only when it ends itself, when it opens
// with a web request or a TLS handshake, or, refused at once, when kMostConnections are open
// already: an open one is never closed to make room, so no flood of connections can push the
// game's own out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using ConnectionId = std::uint64_t;
using PolicyClock = std::chrono::steady_clock;

// Connections open at once; one more is refused. Far more than the game and a few tools need.
constexpr std::size_t kMostConnections = 64;
// How much of a connection's start is looked at for a web request.
constexpr std::size_t kWebTestBytes = 8192;
// A web client sends the rest of its request line at once; a game's command line that merely
// looks like its start ("SAY hello") waits no longer than this.
constexpr auto kLongestHold = std::chrono::milliseconds(500);

// A line for console-server's output: a mark ("*" news, "!" trouble) and its text.
struct PrintedLine {
  char mark = '*';
  std::string text;
  bool operator==(const PrintedLine& other) const {
    return mark == other.mark && text == other.text;
  }
};

// A command line to answer on the connection that sent it.
struct CommandLine {
  ConnectionId from = 0;
  std::string line;
  bool operator==(const CommandLine& other) const {
    return from == other.from && line == other.line;
  }
};

// What the main loop does next, in this order: close, print, answer.
struct Decisions {
  std::vector<PrintedLine> printed;
  std::vector<ConnectionId> closed;
  std::vector<CommandLine> lines;
};

class ConnectionPolicy {
 public:
  // A connection was accepted; refused (closed at once) when the table is full.
  Decisions Opened(ConnectionId id, std::string peer, PolicyClock::time_point now);
  // One read of a connection: one command line, unless it must wait for the web test.
  Decisions Received(ConnectionId id, std::string_view bytes, PolicyClock::time_point now);
  // The peer closed the connection, or it failed: its socket is closed too, and what it held
  // is never answered.
  Decisions Ended(ConnectionId id);
  // Lets held reads go as command lines once they waited kLongestHold.
  Decisions ReleaseDue(PolicyClock::time_point now);

 private:
  struct Connection {
    ConnectionId id = 0;
    std::string peer;
    // The reads held while they may begin a web request, each one command line when released.
    std::vector<std::string> held;
    std::size_t heldBytes = 0;
    bool tested = false;  // whether the web test is done
    PolicyClock::time_point heldSince;
  };

  Connection* Find(ConnectionId id);
  void Release(Connection& connection, Decisions& decisions);
  void Forget(ConnectionId id);

  std::vector<Connection> connections_;
};
