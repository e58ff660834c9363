// Library entry: starts the start-up thread that runs Load.
#include <windows.h>

#include "entry/load.h"

namespace {

DWORD WINAPI StartUp(LPVOID /*module*/) {
  Load();
  return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    // The worker runs this library's code until the process ends: never let it be unloaded.
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&StartUp), &pinned);
    // Load runs on a thread of its own: the loader lock is held here.
    HANDLE startUp = CreateThread(nullptr, 0, StartUp, module, 0, nullptr);
    if (startUp != nullptr) CloseHandle(startUp);
  }
  return TRUE;
}
