#include "game/game_module.h"

#include <windows.h>

std::uintptr_t FindGameModule() {
  // A module handle is the module's base address.
  return reinterpret_cast<std::uintptr_t>(GetModuleHandleW(L"Zandrel.exe"));
}
