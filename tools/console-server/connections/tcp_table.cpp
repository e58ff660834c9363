#include "connections/tcp_table.h"

#include <array>
#include <cstring>
#include <vector>

namespace {

// The state that a socket is left in after its close, with uid 0 and no inode.
constexpr std::string_view kTimeWait = "06";

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t at = 0;
  while (at < line.size()) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
    const std::size_t start = at;
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
    if (at > start) fields.push_back(line.substr(start, at - start));
  }
  return fields;
}

std::optional<std::uint32_t> Hex32(std::string_view text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::uint64_t> Decimal(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// The bytes of one word of an address, in the order they go on the wire: the kernel printed the
// word as this machine holds it in memory.
std::array<unsigned char, 4> WordBytes(std::uint32_t printed) {
  std::array<unsigned char, 4> bytes{};
  std::memcpy(bytes.data(), &printed, bytes.size());
  return bytes;
}

// "0100007F:C5CE", or 32 hex digits and the port for tcp6; none for an IPv6 address that is no
// IPv4 one.
std::optional<Endpoint> ReadEndpoint(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || (colon != 8 && colon != 32) || text.size() != colon + 5)
    return std::nullopt;
  const std::optional<std::uint32_t> port = Hex32(text.substr(colon + 1));
  if (!port) return std::nullopt;
  std::vector<unsigned char> bytes;
  for (std::size_t word = 0; word < colon; word += 8) {
    const std::optional<std::uint32_t> printed = Hex32(text.substr(word, 8));
    if (!printed) return std::nullopt;
    for (const unsigned char byte : WordBytes(*printed)) bytes.push_back(byte);
  }
  if (bytes.size() == 16) {
    // ::ffff:a.b.c.d: ten zero bytes, two 0xFF, then the IPv4 address.
    constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes.data(), kMapped, sizeof(kMapped)) != 0) return std::nullopt;
    bytes.erase(bytes.begin(), bytes.begin() + 12);
  }
  const std::uint32_t address = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                                (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
  return Endpoint{address, static_cast<std::uint16_t>(*port)};
}

}  // namespace

std::optional<TcpRow> FindTcpRow(std::string_view table, const Endpoint& local,
                                 const Endpoint& remote) {
  // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
  constexpr std::size_t kLocal = 1, kRemote = 2, kState = 3, kUid = 7, kInode = 9;
  while (!table.empty()) {
    const std::size_t end = table.find('\n');
    const std::string_view line = table.substr(0, end);
    table = end == std::string_view::npos ? std::string_view() : table.substr(end + 1);
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() <= kInode || fields[kState] == kTimeWait) continue;
    if (ReadEndpoint(fields[kLocal]) != local || ReadEndpoint(fields[kRemote]) != remote) continue;
    const std::optional<std::uint64_t> uid = Decimal(fields[kUid]);
    const std::optional<std::uint64_t> inode = Decimal(fields[kInode]);
    if (!uid || *uid > UINT32_MAX || !inode) continue;
    return TcpRow{static_cast<std::uint32_t>(*uid), *inode};
  }
  return std::nullopt;
}
