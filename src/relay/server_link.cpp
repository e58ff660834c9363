#include "relay/server_link.h"

#include <optional>

#include "host/log.h"
#include "net/connection.h"
#include "plugin_numbers.h"

namespace {

// When the next connect may start: attempts come at most every kConnectRetry, so that a console
// program that takes connections and closes them at once costs two log lines per interval.
LinkClock::time_point NextAttempt{};

// The set-up tells every step, so that the log says why there is no link; a retry tells only a
// link made, since no console program running is the common case and not worth a line each 2 s.
enum class Telling { kEveryStep, kLinkOnly };

void Tell(Telling telling, const char* line) {
  if (telling == Telling::kEveryStep) Log(loader::INFO, line);
}

// Opens a socket and starts a connect, trying Windows Sockets again when it did not start.
// Nothing when no connect could be started.
std::optional<SocketState> StartAttempt(Telling telling) {
  if (!StartSockets()) {
    Tell(telling, kWinsockFailed);
    return std::nullopt;
  }
  Tell(telling, kCreateSocket);
  switch (OpenServerSocket()) {
    case SocketOpening::kNoSocket:
      Tell(telling, kInvalidSocket);
      return std::nullopt;
    case SocketOpening::kBlocking:
      Tell(telling, kNonBlockingFailed);
      return std::nullopt;
    case SocketOpening::kOpened:
      break;
  }
  return StartConnecting();
}

}  // namespace

void ConnectToServer() {
  std::optional<SocketState> state = StartAttempt(Telling::kEveryStep);
  if (!state) return;
  // A console program that listens but does not take the connection (one that hangs) must not
  // hold the set-up: the retries link it once it does.
  if (*state == SocketState::kConnecting) state = CheckConnecting(kFirstConnectWait);
  if (*state != SocketState::kConnected) {
    CloseServerSocket();
    Log(loader::INFO, kConnectFailed);
    return;
  }
  Log(loader::INFO, kConnectSucceeded);
}

void KeepServerLink(LinkClock::time_point now) {
  SocketState state = ServerSocketState();
  if (state == SocketState::kConnected) return;
  if (state == SocketState::kConnecting) state = CheckConnecting(std::chrono::milliseconds(0));
  // A connect still under way when the next is due is dropped for a fresh one: the console
  // program may have started listening since it began.
  if (state != SocketState::kConnected && now >= NextAttempt) {
    NextAttempt = now + kConnectRetry;
    state = StartAttempt(Telling::kLinkOnly).value_or(SocketState::kClosed);
  }
  if (state == SocketState::kConnected) Log(loader::INFO, kConnectedAgain);
}

void LoseServerLink() {
  CloseServerSocket();
  Log(loader::INFO, kConnectionLost);
}
