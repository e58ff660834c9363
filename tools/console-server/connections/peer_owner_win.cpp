// Windows: the connection's row in GetExtendedTcpTable names the peer's process, and the
// process's token its user. Wine (8, as tested) answers process 0 for every row, and with many
// connections in the system takes half a second to answer or fails: under Wine the table is not
// asked, and every peer takes the path of a system that names no process.
#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h.
#include <windows.h>
// After windows.h.
#include <iphlpapi.h>
#include <sddl.h>

#include <cstring>
#include <optional>
#include <vector>

#include "common/os_error.h"
#include "connections/peer_owner.h"

namespace {

// How often the table is asked again when it grew between asking its size and reading it.
constexpr int kTableTries = 4;

// Why no process is named, for every peer.
constexpr const char* kProcessZero = "its table of connections gives process 0";

// Wine's ntdll tells its version; Windows' has no such export.
bool UnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The table of one address family, with every connection's owning process.
Result<std::vector<unsigned char>> TcpTable(ULONG family) {
  std::vector<unsigned char> table;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int i = 0; i < kTableTries && result == ERROR_INSUFFICIENT_BUFFER; ++i) {
    table.resize(size);
    result = GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                                 TCP_TABLE_OWNER_PID_ALL, 0);
  }
  if (result != NO_ERROR) return Reason{"GetExtendedTcpTable: " + OsErrorText(result)};
  return table;
}

Endpoint EndOf(DWORD address, DWORD port) {
  return {ntohl(address), ntohs(static_cast<u_short>(port))};
}

// ::ffff:a.b.c.d, as an IPv6 socket that reaches the IPv4 listener is listed.
std::optional<Endpoint> EndOf6(const UCHAR (&address)[16], DWORD port) {
  constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  if (std::memcmp(address, kMapped, sizeof(kMapped)) != 0) return std::nullopt;
  DWORD ipv4 = 0;
  std::memcpy(&ipv4, address + 12, sizeof(ipv4));
  return EndOf(ipv4, port);
}

// The owning process of the row whose local end is the peer and remote end console-server's own;
// none when no row is.
struct Tables {
  std::vector<unsigned char> ipv4;
  Result<std::vector<unsigned char>> ipv6{Reason{}};
};

std::optional<DWORD> OwningProcess(const Tables& tables, const ConnectionEnds& ends) {
  const auto* rows4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(tables.ipv4.data());
  for (DWORD i = 0; i < rows4->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = rows4->table[i];
    if (EndOf(row.dwLocalAddr, row.dwLocalPort) == ends.peer &&
        EndOf(row.dwRemoteAddr, row.dwRemotePort) == ends.own) {
      return row.dwOwningPid;
    }
  }
  if (!tables.ipv6) return std::nullopt;
  const auto* rows6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(tables.ipv6->data());
  for (DWORD i = 0; i < rows6->dwNumEntries; ++i) {
    const MIB_TCP6ROW_OWNER_PID& row = rows6->table[i];
    if (EndOf6(row.ucLocalAddr, row.dwLocalPort) == ends.peer &&
        EndOf6(row.ucRemoteAddr, row.dwRemotePort) == ends.own) {
      return row.dwOwningPid;
    }
  }
  return std::nullopt;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

// One piece of a token's information, in a buffer of the size it asks for.
Result<std::vector<unsigned char>> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS part) {
  DWORD size = 0;
  GetTokenInformation(token, part, nullptr, 0, &size);
  std::vector<unsigned char> buffer(size);
  if (size == 0 || !GetTokenInformation(token, part, buffer.data(), size, &size)) {
    return Reason{OsErrorText(LastOsError())};
  }
  return buffer;
}

struct TokenUserOf {
  std::string user;
  bool administrator = false;
};

// The token's user as a SID string, and whether it is SYSTEM or holds the built-in
// Administrators group enabled (an elevated administrator).
Result<TokenUserOf> ReadTokenUser(HANDLE token) {
  const Result<std::vector<unsigned char>> user = TokenPart(token, TokenUser);
  if (!user) return Reason{user.why()};
  PSID sid = reinterpret_cast<const TOKEN_USER*>(user->data())->User.Sid;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return Reason{OsErrorText(LastOsError())};
  TokenUserOf found;
  found.user = text;
  LocalFree(text);
  found.administrator = IsWellKnownSid(sid, WinLocalSystemSid) != FALSE;
  if (const Result<std::vector<unsigned char>> groups = TokenPart(token, TokenGroups)) {
    const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups->data());
    for (DWORD i = 0; i < list->GroupCount; ++i) {
      if (IsWellKnownSid(list->Groups[i].Sid, WinBuiltinAdministratorsSid) &&
          (list->Groups[i].Attributes & SE_GROUP_ENABLED) != 0) {
        found.administrator = true;
      }
    }
  }
  return found;
}

Result<TokenUserOf> ProcessUser(DWORD process) {
  const Handle opened(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (opened.get() == nullptr) return Reason{OsErrorText(LastOsError())};
  HANDLE token = nullptr;
  if (!OpenProcessToken(opened.get(), TOKEN_QUERY, &token)) {
    return Reason{OsErrorText(LastOsError())};
  }
  const Handle held(token);
  return ReadTokenUser(held.get());
}

}  // namespace

std::string OwnUser() {
  const Result<TokenUserOf> own = ProcessUser(GetCurrentProcessId());
  return own ? own->user : std::string();
}

std::vector<PeerOwner> LookUpPeerOwners(const std::vector<ConnectionEnds>& connections) {
  std::vector<PeerOwner> owners(connections.size());
  if (connections.empty()) return owners;
  // Asked once: the answer does not change while console-server runs.
  static const bool underWine = UnderWine();
  if (underWine) {
    for (PeerOwner& owner : owners) {
      owner.why = "under Wine, whose table of connections gives process 0 for every connection";
    }
    return owners;
  }
  Result<std::vector<unsigned char>> ipv4 = TcpTable(AF_INET);
  if (!ipv4) {
    for (PeerOwner& owner : owners) {
      owner.found = PeerFound::kNoProcess;
      owner.why = ipv4.why();
    }
    return owners;
  }
  Tables tables{std::move(*ipv4), TcpTable(AF_INET6)};
  for (std::size_t i = 0; i < connections.size(); ++i) {
    PeerOwner& owner = owners[i];
    const std::optional<DWORD> process = OwningProcess(tables, connections[i]);
    if (!process) {
      owner.found = PeerFound::kNotListed;
      continue;
    }
    if (*process == 0) {
      owner.found = PeerFound::kNoProcess;
      owner.why = kProcessZero;
      continue;
    }
    owner.process = *process;
    const Result<TokenUserOf> user = ProcessUser(*process);
    if (!user) {
      owner.found = PeerFound::kUserUnreadable;
      owner.why = user.why();
      continue;
    }
    owner.found = PeerFound::kUser;
    owner.user = user->user;
    owner.administrator = user->administrator;
  }
  return owners;
}

// The table names the process at once.
std::vector<std::optional<ProcessId>> FindSocketHolders(const std::vector<HeldSocket>& sockets) {
  return std::vector<std::optional<ProcessId>>(sockets.size());
}
