#include "connections.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "messages.h"

namespace {

using Clock = std::chrono::steady_clock;

// The plugin sends command lines of up to 4,099 bytes: one read must take the longest whole.
constexpr std::size_t kReadSize = 8192;
// How much of a connection's start is looked at for a web request.
constexpr std::size_t kWebTestBytes = 8192;
// A web client sends the rest of its request line at once; a game's command line that merely
// looks like its start ("SAY hello") waits no longer than this.
constexpr auto kLongestHold = std::chrono::milliseconds(500);
// Connections open at once, the game's included; a new one closes the oldest silent one.
constexpr std::size_t kMostConnections = 4;

struct Connection {
  Socket socket = kNoSocket;
  std::string peer;
  std::string start;      // the bytes held while they may begin a web request
  bool tested = false;    // whether the web test is done
  bool sentLine = false;  // whether it has sent a command line
  Clock::time_point heldSince;
};

std::vector<Connection> Connections;
Socket Game = kNoSocket;

enum class WebStart { kYes, kNo, kMaybe };

// Whether the bytes begin an HTTP request line ("POST / HTTP/1.1" and a line end) or a TLS
// handshake record, what a web browser or tool sends first and the plugin never does; kMaybe
// while more bytes can still make them one.
WebStart BeginsWebRequest(std::string_view bytes) {
  if (bytes.empty()) return WebStart::kMaybe;
  if (bytes[0] == '\x16') {
    if (bytes.size() == 1) return WebStart::kMaybe;
    return bytes[1] == '\x03' ? WebStart::kYes : WebStart::kNo;
  }
  const std::size_t method = bytes.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  if (method == std::string_view::npos) return WebStart::kMaybe;
  if (method == 0 || bytes[method] != ' ') return WebStart::kNo;
  const std::size_t target = bytes.find_first_of(" \n", method + 1);
  if (target == std::string_view::npos) return WebStart::kMaybe;
  if (target == method + 1 || bytes[target] != ' ') return WebStart::kNo;
  constexpr std::string_view kVersion = "HTTP/";
  const std::string_view rest = bytes.substr(target + 1);
  if (rest.substr(0, kVersion.size()) != kVersion.substr(0, rest.size())) return WebStart::kNo;
  return rest.find('\n') != std::string_view::npos ? WebStart::kYes : WebStart::kMaybe;
}

Connection* Find(Socket socket) {
  for (Connection& connection : Connections) {
    if (connection.socket == socket) return &connection;
  }
  return nullptr;
}

void Close(Socket socket) {
  CloseSocket(socket);
  if (socket == Game) Game = kNoSocket;
  Connections.erase(std::remove_if(Connections.begin(), Connections.end(),
                                   [&](const Connection& c) { return c.socket == socket; }),
                    Connections.end());
}

// Whether the peer has closed a connection (or it failed), without taking any data from it.
bool FoundClosed(Socket connection) {
  if (!WaitReadable({connection}, 0)[0]) return false;
  char byte;
  const Result<std::size_t> peeked = PeekBytes(connection, &byte, 1);
  return !peeked || *peeked == 0;
}

void MakeGame(const Connection& connection) {
  Game = connection.socket;
  Print('*', "game connected (from " + connection.peer + ")");
}

// A command line: the game's, or one that makes its connection the game's. Connections may
// close meanwhile: only their sockets are held on to.
void TakeLine(Socket socket, std::string_view line, const CommandLineHandler& onCommandLine) {
  if (socket != Game) {
    const Connection* game = Find(Game);
    if (game != nullptr && game->sentLine) {
      Print('!', "closed the connection from " + Find(socket)->peer +
                     ": it sent a command line, but the game's connection is open");
      Close(socket);
      return;
    }
    if (game != nullptr) {
      Print('!', "closed the connection from " + game->peer +
                     ", which had sent nothing: another one sent a command line");
      Close(Game);
    }
    MakeGame(*Find(socket));
  }
  Find(Game)->sentLine = true;
  onCommandLine(line);
}

// Lets the held start of a connection go as a command line, once it cannot be a web request.
void Release(Connection& connection, const CommandLineHandler& onCommandLine) {
  connection.tested = true;
  const std::string line = std::move(connection.start);
  connection.start.clear();
  if (!line.empty()) TakeLine(connection.socket, line, onCommandLine);
}

}  // namespace

Socket GameConnection() {
  return Game;
}

std::vector<Socket> OpenConnections() {
  std::vector<Socket> sockets;
  for (const Connection& connection : Connections) sockets.push_back(connection.socket);
  return sockets;
}

void AcceptNewConnection(Socket listener) {
  // Nothing to tell when none is taken: the peer gave up before it was, and a refusal of the
  // system's would come again on every pass of the loop.
  Result<Accepted> accepted = AcceptConnection(listener);
  if (!accepted) return;
  Connection connection;
  connection.socket = accepted->socket;
  connection.peer = std::move(accepted->peer);
  if (Game != kNoSocket && FoundClosed(Game)) {
    Close(Game);
    Print('*', "the previous game's connection was closed");
  }
  const Connection* game = Find(Game);
  if (game != nullptr && game->sentLine) {
    // A web page or a tool must not take the console away from a running game.
    CloseSocket(connection.socket);
    Print('!', "closed a new connection (from " + connection.peer +
                   "): the game's connection is still open");
    return;
  }
  if (Connections.size() >= kMostConnections) {
    Print('!', "closed the connection from " + Connections.front().peer + ", which had sent " +
                   "nothing: " + std::to_string(kMostConnections) + " connections are open");
    Close(Connections.front().socket);
  }
  Connections.push_back(connection);
  if (Game == kNoSocket) {
    MakeGame(connection);
  } else {
    Print('*', "another connection (from " + connection.peer +
                   "): the game's has sent nothing yet, so the first to send a command line is "
                   "the game's");
  }
}

void ReceiveFrom(Socket socket, const CommandLineHandler& onCommandLine) {
  Connection* connection = Find(socket);
  if (connection == nullptr) return;
  char buffer[kReadSize];
  const Result<std::size_t> count = ReceiveBytes(socket, buffer, sizeof(buffer));
  // A failed connection ends as a closed one: either way the peer is gone.
  if (!count || *count == 0) {
    const bool wasGame = socket == Game;
    const std::string peer = connection->peer;
    Close(socket);
    if (wasGame) {
      Print('*', "the game went away; waiting for the next game start");
      if (!Connections.empty()) MakeGame(Connections.front());
    } else {
      Print('*', "the connection from " + peer + " closed, having sent nothing");
    }
    return;
  }
  const std::string_view bytes(buffer, *count);
  if (connection->tested) {
    TakeLine(socket, bytes, onCommandLine);
    return;
  }
  if (connection->start.empty()) connection->heldSince = Clock::now();
  const std::size_t room = kWebTestBytes - connection->start.size();
  connection->start.append(bytes.substr(0, room));
  const WebStart web = BeginsWebRequest(connection->start);
  if (web == WebStart::kYes) {
    Close(socket);
    Print('!',
          "closed the connection: it began with an HTTP request or a TLS handshake, as a "
          "web page or tool sends, not a game");
    return;
  }
  if (web == WebStart::kMaybe && bytes.size() < room) return;
  Release(*connection, onCommandLine);
  // What came past the first 8 KiB follows them.
  if (bytes.size() > room && Find(socket) != nullptr) {
    TakeLine(socket, bytes.substr(room), onCommandLine);
  }
}

void ReleaseHeldBytes(const CommandLineHandler& onCommandLine) {
  const Clock::time_point now = Clock::now();
  for (const Socket socket : OpenConnections()) {
    Connection* connection = Find(socket);
    if (connection != nullptr && !connection->tested && !connection->start.empty() &&
        now - connection->heldSince >= kLongestHold) {
      Release(*connection, onCommandLine);
    }
  }
}
