#include "connections/tcp_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The kernel writes each word of an address as it lies in memory: these rows are a little-endian
// machine's, as every machine that console-server is built for.
bool LittleEndian() {
  const std::uint16_t one = 1;
  unsigned char first = 0;
  std::memcpy(&first, &one, 1);
  return first == 1;
}

const std::string kHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout "
    "inode\n";
// The peer 127.0.0.1:50638 connected to console-server's 127.0.0.1:50382.
const Endpoint kPeer{0x7F000001, 50638};
const Endpoint kOwn{0x7F000001, 50382};
const std::string kPeerEnd = "0100007F:C5CE";
const std::string kOwnEnd = "0100007F:C4CE";

std::string Row(const std::string& local, const std::string& remote, const std::string& state,
                const std::string& uid, const std::string& inode) {
  return "   3: " + local + " " + remote + " " + state +
         " 00000000:00000000 00:00000000 00000000 " + uid + "        0 " + inode +
         " 1 0000000000000000 20 4 30 10 -1\n";
}

struct Case {
  std::string name;
  std::string table;
  std::optional<std::pair<std::uint32_t, std::uint64_t>> found;  // uid, inode
};

TEST(TcpTable, FindsThePeersOwnRowOnly) {
  if (!LittleEndian()) GTEST_SKIP() << "the rows are written as a little-endian kernel does";
  const std::string listener = Row(kOwnEnd, "00000000:0000", "0A", "0", "1333");
  const std::string ownEnd = Row(kOwnEnd, kPeerEnd, "01", "0", "2000");
  const std::string peer = Row(kPeerEnd, kOwnEnd, "01", "1000", "2001");
  const std::string mapped = "0000000000000000FFFF0000";
  const Case cases[] = {
      {"the peer's row, after the listener's and console-server's own end",
       kHeader + listener + ownEnd + peer,
       {{1000, 2001}}},
      {"console-server's own end is never taken for the peer", kHeader + listener + ownEnd, {}},
      {"another connection to the same port",
       kHeader + Row("0100007F:C5CF", kOwnEnd, "01", "7", "9"),
       {}},
      {"a connection of the peer's port elsewhere",
       kHeader + Row(kPeerEnd, "0100007F:0050", "01", "7", "9"),
       {}},
      {"a socket left in TIME_WAIT shows uid 0 and is passed over, the live one is taken",
       kHeader + Row(kPeerEnd, kOwnEnd, "06", "0", "0") + peer,
       {{1000, 2001}}},
      {"a socket closed but not yet gone (FIN_WAIT2) keeps its user, and has no inode",
       kHeader + Row(kPeerEnd, kOwnEnd, "05", "1000", "0"),
       {{1000, 0}}},
      {"tcp6: an IPv6 socket that reached the IPv4 listener",
       kHeader + Row(mapped + "0100007F:C5CE", mapped + "0100007F:C4CE", "01", "54321", "77"),
       {{54321, 77}}},
      {"tcp6: ::1 is no IPv4 address",
       kHeader + Row("00000000000000000000000001000000:C5CE",
                     "00000000000000000000000001000000:C4CE", "01", "5", "6"),
       {}},
      {"tcp6: an address that is mapped to nothing",
       kHeader +
           Row("0000000000000000FFFF00010100007F:C5CE", mapped + "0100007F:C4CE", "01", "5", "6"),
       {}},
      {"the largest uid",
       kHeader + Row(kPeerEnd, kOwnEnd, "01", "4294967295", "1"),
       {{4294967295u, 1}}},
      {"one past the largest uid does not read",
       kHeader + Row(kPeerEnd, kOwnEnd, "01", "4294967296", "1"),
       {}},
      {"a last row without a line end", kHeader + peer.substr(0, peer.size() - 1), {{1000, 2001}}},
      {"an empty table", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<TcpRow> row = FindTcpRow(c.table, kPeer, kOwn);
    ASSERT_EQ(row.has_value(), c.found.has_value());
    if (row) {
      EXPECT_EQ(row->uid, c.found->first);
      EXPECT_EQ(row->inode, c.found->second);
    }
  }
}

TEST(TcpTable, PassesOverRowsThatDoNotRead) {
  if (!LittleEndian()) GTEST_SKIP() << "the rows are written as a little-endian kernel does";
  const std::string peer = Row(kPeerEnd, kOwnEnd, "01", "1000", "2001");
  const std::string broken[] = {
      Row("0100007G:C5CE", kOwnEnd, "01", "6", "6"),   // no hex digit
      Row("100007F:C5CE", kOwnEnd, "01", "6", "6"),    // seven digits
      Row("0100007F:C5CE0", kOwnEnd, "01", "6", "6"),  // a port of five
      Row("0100007F-C5CE", kOwnEnd, "01", "6", "6"),   // no colon
      Row(kPeerEnd, kOwnEnd, "01", "-6", "6"),         // no uid
      Row(kPeerEnd, kOwnEnd, "01", "6", "x"),          // no inode
      "   3: " + kPeerEnd + " " + kOwnEnd + " 01\n",   // cut short
  };
  for (const std::string& row : broken) {
    SCOPED_TRACE(row);
    EXPECT_FALSE(FindTcpRow(kHeader + row, kPeer, kOwn));
    const std::optional<TcpRow> after = FindTcpRow(kHeader + row + peer, kPeer, kOwn);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->uid, 1000u);
  }
}

}  // namespace
