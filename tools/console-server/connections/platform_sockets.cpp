// The socket logic of both systems, over the calls of socket_calls.h.
#include <algorithm>
#include <climits>

#include "connections/socket_calls.h"

namespace {

Endpoint EndpointOf(const sockaddr_in& address) {
  return {ntohl(address.sin_addr.s_addr), ntohs(address.sin_port)};
}

std::string AddressText(const Endpoint& end) {
  const std::uint32_t ip = end.address;
  return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' +
         std::to_string((ip >> 8) & 0xFF) + '.' + std::to_string(ip & 0xFF) + ':' +
         std::to_string(end.port);
}

// A connection's send buffer. The game reads every few milliseconds and a reply is paced, so a
// small buffer never fills for a client that reads; for one that does not, it fills soon, and
// the bytes that then wait tell the owner to close it.
constexpr int kSendBufferBytes = 16 * 1024;

// Both systems take an int length; no read or send of console-server's comes near the limit.
int Length(std::size_t length) {
  return static_cast<int>(std::min<std::size_t>(length, INT_MAX));
}

}  // namespace

Result<Listener> ListenOnLoopback(int port) {
  const Socket listener = NewStreamSocket();
  if (listener == kNoSocket) return SocketFailure();
  SetAddressOption(listener);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  // Port 0 binds any free port: the address then tells which.
  AddressLength length = sizeof(address);
  if (bind(Native(listener), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(Native(listener), SOMAXCONN) != 0 || !SetNonBlocking(listener) ||
      getsockname(Native(listener), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const Reason why = SocketFailure();
    CloseSocket(listener);
    return why;
  }
  return Listener{listener, ntohs(address.sin_port)};
}

std::variant<Accepted, AcceptFailure> AcceptConnection(Socket listener) {
  sockaddr_in address = {};
  AddressLength length = sizeof(address);
  const Socket connection = AcceptNotInherited(listener, address, length);
  if (connection == kNoSocket) {
    const SocketError error = LastSocketError();
    // The usual end of an accept pass: no text to build.
    if (error == SocketError::kWouldBlock) return AcceptFailure{AcceptEnd::kNoneWaiting, {}};
    if (error == SocketError::kPeerGone) return AcceptFailure{AcceptEnd::kPeerGone, {}};
    return AcceptFailure{
        error == SocketError::kNoDescriptors ? AcceptEnd::kNoDescriptors : AcceptEnd::kOther,
        SocketFailure().text};
  }
  setsockopt(Native(connection), SOL_SOCKET, SO_SNDBUF,
             reinterpret_cast<const char*>(&kSendBufferBytes), sizeof(kSendBufferBytes));
  if (!SetNonBlocking(connection)) {
    AcceptFailure failure{AcceptEnd::kOther,
                          "cannot make it non-blocking: " + SocketFailure().text};
    CloseSocket(connection);
    return failure;
  }
  sockaddr_in own = {};
  AddressLength ownLength = sizeof(own);
  getsockname(Native(connection), reinterpret_cast<sockaddr*>(&own), &ownLength);
  const Endpoint peer = EndpointOf(address);
  return Accepted{connection, AddressText(peer), peer, EndpointOf(own)};
}

Received ReceiveBytes(Socket socket, char* buffer, std::size_t length) {
  const auto received = recv(Native(socket), buffer, Length(length), 0);
  if (received > 0) return {ReceiveEnd::kBytes, static_cast<std::size_t>(received)};
  if (received < 0 && LastSocketError() == SocketError::kWouldBlock) {
    return {ReceiveEnd::kNothingYet, 0};
  }
  return {ReceiveEnd::kClosed, 0};
}

Result<std::size_t> SendSome(Socket socket, std::string_view bytes) {
  const auto sent = send(Native(socket), bytes.data(), Length(bytes.size()), 0);
  if (sent >= 0) return static_cast<std::size_t>(sent);
  if (LastSocketError() == SocketError::kWouldBlock) return std::size_t{0};
  return SocketFailure();
}
