// Whose is the program at the other end of a connection: the user and the process that hold the
// peer's socket, as the system tells. console-server runs programs with its own user's rights,
// so the owner (console_server.h) serves only its own user and the administrator; this only
// asks. peer_owner_posix.cpp asks Linux's socket tables (through sock_diag, or in /proc/net/tcp
// and tcp6, read by tcp_table.cpp) and the processes' descriptors; peer_owner_win.cpp asks
// GetExtendedTcpTable and the process's token.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "connections/platform.h"

using ProcessId = std::uint64_t;

enum class PeerFound {
  kUser,            // the user is known, and the process where the system tells it
  kUserUnreadable,  // the process is known, but not its user (another user's, or elevated)
  kNoProcess,       // the system names no process and no user for it
  kNotListed,       // no socket of the system has the peer's address: it has gone
};

// A socket whose process is still to be found: FindSocketHolders reads every descriptor of its
// user's processes, which takes from milliseconds to tens of them, too long for the loop.
struct HeldSocket {
  std::uint64_t inode = 0;
  std::uint32_t uid = 0;
  bool operator==(const HeldSocket& other) const {
    return inode == other.inode && uid == other.uid;
  }
};

struct PeerOwner {
  PeerFound found = PeerFound::kNoProcess;
  // The user as the system writes it ("1000"; "S-1-5-21-...-1001"), for kUser.
  std::string user;
  // root, or SYSTEM or a member of the built-in Administrators on Windows.
  bool administrator = false;
  std::optional<ProcessId> process;
  // Linux: the peer's socket, whose process is found apart.
  std::optional<HeldSocket> socket;
  // What the system said, for kUserUnreadable and kNoProcess.
  std::string why;
};

// console-server's own user, written as PeerOwner::user is.
std::string OwnUser();

// Both ends of an accepted connection: the peer's, and console-server's own.
struct ConnectionEnds {
  Endpoint peer;
  Endpoint own;
};

// The owners of the peers of the connections accepted in one pass, in the same order. A table
// that must be read whole is read once for all of them: /proc/net/tcp takes milliseconds, and
// GetExtendedTcpTable more, and a flood of connections must leave the loop its time.
std::vector<PeerOwner> LookUpPeerOwners(const std::vector<ConnectionEnds>& connections);

// The process that holds each socket, in the same order, in one pass over the processes; none
// where none is found (a process that console-server may not read, or that has gone).
std::vector<std::optional<ProcessId>> FindSocketHolders(const std::vector<HeldSocket>& sockets);
