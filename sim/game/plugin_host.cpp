#include "plugin_host.h"

#include <windows.h>

#include <string>

#include "sim_output.h"

namespace {

// The loaded plugin; null when none was given or it failed to load.
HMODULE Plugin = nullptr;

// The name under which MSVC exports bool Load(): the loader looks it up so.
constexpr const char* kLoadExport = "?Load@@YA_NXZ";

using PluginLoad = bool (*)();

}  // namespace

void LoadPlugin(const wchar_t* path) {
  if (path == nullptr) {
    Report("plugin", "none");
    return;
  }
  // A bare name would be looked up along the DLL search path; the plugin is the file named.
  std::wstring fullPath(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path, static_cast<DWORD>(fullPath.size()), &fullPath[0], nullptr);
  if (length >= fullPath.size()) {
    fullPath.resize(length);
    length = GetFullPathNameW(path, static_cast<DWORD>(fullPath.size()), &fullPath[0], nullptr);
  }
  if (length == 0) {
    Report("plugin", "failed " + std::to_string(GetLastError()));
    return;
  }
  fullPath.resize(length);

  Plugin = LoadLibraryW(fullPath.c_str());
  if (Plugin == nullptr) {
    Report("plugin", "failed " + std::to_string(GetLastError()));
    return;
  }
  Report("plugin", "loaded " + Hex(reinterpret_cast<std::uintptr_t>(Plugin)));
}

const char* CallPluginLoad() {
  if (Plugin == nullptr) return "missing";
  const FARPROC found = GetProcAddress(Plugin, kLoadExport);
  if (found == nullptr) return "missing";
  // Through a plain pointer first: GCC warns about casting one function type to another.
  const auto load = reinterpret_cast<PluginLoad>(reinterpret_cast<void*>(found));
  return load() ? "1" : "0";
}
