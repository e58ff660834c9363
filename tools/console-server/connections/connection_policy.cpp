#include "connections/connection_policy.h"

#include <algorithm>
#include <utility>

namespace {

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

// The first kWebTestBytes of the held reads, as one run of bytes for the web test.
std::string TestedStart(const std::vector<std::string>& held) {
  std::string start;
  for (const std::string& read : held) {
    start.append(read, 0, kWebTestBytes - start.size());
    if (start.size() == kWebTestBytes) break;
  }
  return start;
}

std::string OpenCount(std::size_t count) {
  return "(" + std::to_string(count) + " open)";
}

// "connection 3 from 127.0.0.1:49822": the number ties a reply's "!" line to its connection.
std::string Named(ConnectionId id, const std::string& peer) {
  return "connection " + std::to_string(id) + " from " + peer;
}

}  // namespace

ConnectionPolicy::Connection* ConnectionPolicy::Find(ConnectionId id) {
  for (Connection& connection : connections_) {
    if (connection.id == id) return &connection;
  }
  return nullptr;
}

void ConnectionPolicy::Forget(ConnectionId id) {
  connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                    [&](const Connection& c) { return c.id == id; }),
                     connections_.end());
}

void ConnectionPolicy::Release(Connection& connection, Decisions& decisions) {
  connection.tested = true;
  for (std::string& read : connection.held) {
    decisions.lines.push_back({connection.id, std::move(read)});
  }
  connection.held.clear();
  connection.heldBytes = 0;
}

Decisions ConnectionPolicy::Opened(ConnectionId id, std::string peer, PolicyClock::time_point now) {
  Decisions decisions;
  if (connections_.size() >= kMostConnections) {
    decisions.printed.push_back(
        {'!', "refused " + Named(id, peer) + ": " + std::to_string(kMostConnections) +
                  " connections are open, and none is closed to make room"});
    decisions.closed.push_back(id);
    return decisions;
  }
  Connection connection;
  connection.id = id;
  connection.peer = std::move(peer);
  connection.heldSince = now;
  connections_.push_back(std::move(connection));
  decisions.printed.push_back(
      {'*', Named(id, connections_.back().peer) + " " + OpenCount(connections_.size())});
  return decisions;
}

Decisions ConnectionPolicy::Received(ConnectionId id, std::string_view bytes,
                                     PolicyClock::time_point now) {
  Decisions decisions;
  Connection* connection = Find(id);
  if (connection == nullptr || bytes.empty()) return decisions;
  if (connection->tested) {
    decisions.lines.push_back({id, std::string(bytes)});
    return decisions;
  }
  if (connection->held.empty()) connection->heldSince = now;
  connection->held.emplace_back(bytes);
  connection->heldBytes += bytes.size();
  const WebStart web = BeginsWebRequest(TestedStart(connection->held));
  if (web == WebStart::kYes) {
    decisions.printed.push_back(
        {'!', "closed " + Named(id, connection->peer) +
                  ": it began with an HTTP request or a TLS handshake, as a web page or tool "
                  "sends, not a game"});
    decisions.closed.push_back(id);
    Forget(id);
    return decisions;
  }
  if (web == WebStart::kNo || connection->heldBytes >= kWebTestBytes) {
    Release(*connection, decisions);
  }
  return decisions;
}

Decisions ConnectionPolicy::Ended(ConnectionId id) {
  Decisions decisions;
  const Connection* connection = Find(id);
  if (connection == nullptr) return decisions;
  const std::string peer = connection->peer;
  Forget(id);
  decisions.printed.push_back({'*', Named(id, peer) + " closed " + OpenCount(connections_.size())});
  decisions.closed.push_back(id);
  return decisions;
}

Decisions ConnectionPolicy::ReleaseDue(PolicyClock::time_point now) {
  Decisions decisions;
  for (Connection& connection : connections_) {
    if (!connection.held.empty() && now - connection.heldSince >= kLongestHold) {
      Release(connection, decisions);
    }
  }
  return decisions;
}
