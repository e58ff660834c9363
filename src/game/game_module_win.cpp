#include "game/game_module.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "game/game_build.h"

Result<std::uintptr_t> FindGameModule() {
  // The name is plain ASCII: each of its bytes is the same character in UTF-16.
  const std::wstring name(kGameModuleName, kGameModuleName + std::strlen(kGameModuleName));
  // A module handle is the module's base address.
  const auto base = reinterpret_cast<std::uintptr_t>(GetModuleHandleW(name.c_str()));
  if (base == 0) return Reason{std::string(kGameModuleName) + " is not loaded in this process"};
  return base;
}
