// Linux: the peer's row in the kernel's socket tables gives its user and its socket's inode; the
// process is the one whose descriptors hold that inode. The row is asked for by its two ends
// through a sock_diag netlink socket, which answers in microseconds, in the IPv4 table and then
// in the IPv6 one; /proc/net/tcp and tcp6, which take milliseconds to read with a few hundred
// sockets, are read only for the peers that it cannot answer for (a system without sock_diag).
#include <dirent.h>
#include <fcntl.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/os_error.h"
#include "connections/peer_owner.h"
#include "connections/tcp_table.h"

namespace {

// The whole text of a file of /proc, whose size stat does not tell.
Result<std::string> ReadProcFile(const char* path) {
  const int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return Reason{std::string(path) + ": " + OsErrorText(LastOsError())};
  std::string text;
  char buffer[16384];
  for (;;) {
    const ssize_t count = read(file, buffer, sizeof(buffer));
    if (count <= 0) break;
    text.append(buffer, static_cast<std::size_t>(count));
  }
  close(file);
  return text;
}

// What sock_diag says of one socket: its row, that it has none (the socket is gone), or nothing
// (no sock_diag, or a family it does not serve), and the tables are read instead.
struct DiagAnswer {
  enum class Kind { kRow, kNone, kUnknown } kind = Kind::kUnknown;
  TcpRow row;
};

// An IPv4 address as an IPv6 socket sees it: ::ffff:a.b.c.d.
void PutAddress(__be32 (&into)[4], std::uint32_t address, bool mapped) {
  if (mapped) {
    into[2] = htonl(0xffff);
    into[3] = htonl(address);
  } else {
    into[0] = htonl(address);
  }
}

// Asks for the row of the socket at `peer` connected to `own`, by its two ends, of the IPv4
// table or, as an IPv6 socket that reached the IPv4 listener as ::ffff:127.0.0.1, of the IPv6 one.
DiagAnswer AskSocketDiag(int diag, const ConnectionEnds& ends, bool asIpv6) {
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message = {};
  message.header.nlmsg_len = sizeof(message);
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.request.sdiag_family = asIpv6 ? AF_INET6 : AF_INET;
  message.request.sdiag_protocol = IPPROTO_TCP;
  // A socket left in TIME_WAIT keeps no owner.
  message.request.idiag_states = ~(1u << TCP_TIME_WAIT);
  message.request.id.idiag_sport = htons(ends.peer.port);
  message.request.id.idiag_dport = htons(ends.own.port);
  PutAddress(message.request.id.idiag_src, ends.peer.address, asIpv6);
  PutAddress(message.request.id.idiag_dst, ends.own.address, asIpv6);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  if (send(diag, &message, sizeof(message), 0) != static_cast<ssize_t>(sizeof(message))) return {};
  alignas(nlmsghdr) char answer[1024];
  const ssize_t length = recv(diag, answer, sizeof(answer), MSG_DONTWAIT);
  if (length < static_cast<ssize_t>(NLMSG_HDRLEN)) return {};
  const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
  if (header->nlmsg_type == NLMSG_ERROR &&
      length >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(nlmsgerr)))) {
    // No such socket: it has gone. Any other error says nothing of it.
    const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(header));
    return error->error == -ENOENT ? DiagAnswer{DiagAnswer::Kind::kNone, {}} : DiagAnswer{};
  }
  if (length < static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) ||
      header->nlmsg_type != SOCK_DIAG_BY_FAMILY) {
    return {};
  }
  const auto* row = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
  return {DiagAnswer::Kind::kRow, TcpRow{row->idiag_uid, row->idiag_inode}};
}

bool IsNumber(const char* name) {
  if (*name == '\0') return false;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9') return false;
  }
  return true;
}

// "socket:[12345]", as a descriptor's link names the socket of that inode.
std::string SocketLink(std::uint64_t inode) {
  return "socket:[" + std::to_string(inode) + "]";
}

// Gives each socket that one of the process's descriptors holds to that process.
void FindHeldSockets(const char* process, std::map<std::string, std::optional<ProcessId>>& wanted,
                     std::size_t& left) {
  const std::string folder = std::string("/proc/") + process + "/fd";
  DIR* descriptors = opendir(folder.c_str());
  if (descriptors == nullptr) return;
  char target[64];
  while (const dirent* entry = readdir(descriptors)) {
    const ssize_t length = readlinkat(dirfd(descriptors), entry->d_name, target, sizeof(target));
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof(target)) continue;
    const auto socket = wanted.find(std::string(target, static_cast<std::size_t>(length)));
    if (socket == wanted.end() || socket->second) continue;
    socket->second = std::strtoull(process, nullptr, 10);
    if (--left == 0) break;
  }
  closedir(descriptors);
}

}  // namespace

std::string OwnUser() {
  // The kernel writes a socket's user as the one that made it: the effective user.
  return std::to_string(geteuid());
}

std::vector<PeerOwner> LookUpPeerOwners(const std::vector<ConnectionEnds>& connections) {
  std::vector<std::optional<TcpRow>> rows(connections.size());
  bool read = false;
  const int diag = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  // A socket that sock_diag says is in neither table has gone: no table is read for it, so that
  // a storm of connections reset before they were taken costs no read of the tables.
  std::vector<bool> gone(connections.size(), false);
  if (diag >= 0) {
    for (std::size_t i = 0; i < connections.size(); ++i) {
      DiagAnswer answer = AskSocketDiag(diag, connections[i], false);
      if (answer.kind == DiagAnswer::Kind::kNone)
        answer = AskSocketDiag(diag, connections[i], true);
      if (answer.kind == DiagAnswer::Kind::kRow) rows[i] = answer.row;
      gone[i] = answer.kind == DiagAnswer::Kind::kNone;
      read = read || answer.kind != DiagAnswer::Kind::kUnknown;
    }
    close(diag);
  }
  std::string unread;
  // An IPv6 socket can reach the IPv4 listener too, as ::ffff:127.0.0.1: tcp6 is read only
  // for a peer that tcp does not list.
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    bool missing = false;
    for (std::size_t i = 0; i < rows.size(); ++i) missing = missing || (!rows[i] && !gone[i]);
    if (!missing) break;
    const Result<std::string> text = ReadProcFile(table);
    if (!text) {
      unread = text.why();
      continue;
    }
    read = true;
    for (std::size_t i = 0; i < connections.size(); ++i) {
      if (!rows[i] && !gone[i])
        rows[i] = FindTcpRow(*text, connections[i].peer, connections[i].own);
    }
  }
  std::vector<PeerOwner> owners(connections.size());
  for (std::size_t i = 0; i < connections.size(); ++i) {
    PeerOwner& owner = owners[i];
    if (!read) {
      owner.found = PeerFound::kNoProcess;
      owner.why = "its socket tables cannot be read: " + unread;
    } else if (!rows[i]) {
      owner.found = PeerFound::kNotListed;
    } else {
      owner.found = PeerFound::kUser;
      owner.user = std::to_string(rows[i]->uid);
      owner.administrator = rows[i]->uid == 0;
      if (rows[i]->inode != 0) owner.socket = HeldSocket{rows[i]->inode, rows[i]->uid};
    }
  }
  return owners;
}

// One pass over /proc for all the sockets. Only the processes of the sockets' users are looked
// in: console-server may read no other user's descriptors (unless it is root), and serves no
// other user anyway.
std::vector<std::optional<ProcessId>> FindSocketHolders(const std::vector<HeldSocket>& sockets) {
  std::map<std::string, std::optional<ProcessId>> wanted;
  for (const HeldSocket& socket : sockets) wanted[SocketLink(socket.inode)];
  std::size_t left = wanted.size();
  if (DIR* processes = opendir("/proc")) {
    while (left > 0) {
      const dirent* entry = readdir(processes);
      if (entry == nullptr) break;
      struct stat status = {};
      if (!IsNumber(entry->d_name) || fstatat(dirfd(processes), entry->d_name, &status, 0) != 0)
        continue;
      for (const HeldSocket& socket : sockets) {
        if (status.st_uid == socket.uid) {
          FindHeldSockets(entry->d_name, wanted, left);
          break;
        }
      }
    }
    closedir(processes);
  }
  std::vector<std::optional<ProcessId>> holders;
  for (const HeldSocket& socket : sockets) holders.push_back(wanted[SocketLink(socket.inode)]);
  return holders;
}
