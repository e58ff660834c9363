// Linux's tables of TCP sockets (/proc/net/tcp and /proc/net/tcp6), read as text: which user
// owns the socket at one end of a connection, and its inode, which names the process that holds
// it. Plain text in, so that every shape of row is a row of a test.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "connections/platform.h"

struct TcpRow {
  std::uint32_t uid = 0;
  std::uint64_t inode = 0;  // 0 for a socket that no process holds any more
};

// The row of the socket whose own address is `local` and whose other end is `remote`, in the
// text of /proc/net/tcp or /proc/net/tcp6 (where an IPv4 address is written IPv4-mapped). The
// kernel writes each 32-bit word of an address as it lies in memory, so the text is read for this
// machine's byte order. A TIME_WAIT row is never taken: it keeps no owner, and shows uid 0. Rows
// that do not read are passed over.
std::optional<TcpRow> FindTcpRow(std::string_view table, const Endpoint& local,
                                 const Endpoint& remote);
