#include "relay/server_link.h"

#include "host/log.h"
#include "net/connection.h"
#include "plugin_numbers.h"

namespace {

constexpr const char* kConnectedAgain = "[Console] [Server] Connected again";
constexpr const char* kConnectionLost = "[Console] [Server] Connection lost";

// When the next connect may start: attempts come at most every kConnectRetry, so that a console
// program that takes connections and closes them at once costs two log lines per interval.
LinkClock::time_point NextAttempt{};

}  // namespace

void KeepServerLink(LinkClock::time_point now) {
  SocketState state = ServerSocketState();
  if (state == SocketState::kConnected) return;
  if (state == SocketState::kConnecting) state = CheckConnecting();
  // A connect still under way when the next is due is dropped for a fresh one: the console
  // program may have started listening since it began.
  if (state != SocketState::kConnected && now >= NextAttempt) {
    NextAttempt = now + kConnectRetry;
    state = StartConnecting();
  }
  if (state == SocketState::kConnected) Log(loader::INFO, kConnectedAgain);
}

void LoseServerLink() {
  CloseServerSocket();
  Log(loader::INFO, kConnectionLost);
}
