// The reference for what the plugin costs an idle game: from its entry, a thread that makes only
// the calls no relay pass can do without (one receive on a connected non-blocking socket and a
// 10 ms sleep), forever. It needs no game: it connects to the console program at once.
//
// It pauses as the plugin does (std::this_thread::sleep_for), so that the two differ only in the
// plugin's own work. Built with BASELINE_WIN32_SLEEP, it pauses with the system's Sleep instead.
#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <chrono>
#include <thread>

namespace {

constexpr const char* kConsoleAddress = "127.0.0.1";
constexpr u_short kConsolePort = 50382;
constexpr int kReceiveLength = 1024;
constexpr auto kPassPause = std::chrono::milliseconds(10);

DWORD WINAPI IdlePasses(LPVOID /*unused*/) {
  WSADATA wsaData;
  if (WSAStartup(MAKEWORD(2, 2), &wsaData) != 0) return 1;
  const SOCKET console = socket(AF_INET, SOCK_STREAM, 0);
  if (console == INVALID_SOCKET) return 1;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = inet_addr(kConsoleAddress);
  address.sin_port = htons(kConsolePort);
  if (connect(console, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    return 1;
  }
  u_long nonBlocking = 1;
  if (ioctlsocket(console, FIONBIO, &nonBlocking) != 0) return 1;

  char buffer[kReceiveLength];
  for (;;) {
    recv(console, buffer, kReceiveLength, 0);
#if defined(BASELINE_WIN32_SLEEP)
    Sleep(static_cast<DWORD>(kPassPause.count()));
#else
    std::this_thread::sleep_for(kPassPause);
#endif  // BASELINE_WIN32_SLEEP
  }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    HANDLE passes = CreateThread(nullptr, 0, IdlePasses, nullptr, 0, nullptr);
    if (passes != nullptr) CloseHandle(passes);
  }
  return TRUE;
}
