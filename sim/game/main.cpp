// The simulated game host: the game's memory where the plugin reads it, then the plugin, then
// commands from stdin until it ends.
#include <windows.h>
// After windows.h, which it needs.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "chat_display.h"
#include "commands.h"
#include "game_memory_layout.h"
#include "plugin_host.h"
#include "sim_output.h"

namespace {

// Exit code when the game's fixed memory cannot be laid out.
constexpr int kLayoutFailed = 3;

}  // namespace

int main() {
  // Lines may carry any byte; text mode would end the input at a 0x1A byte.
  _setmode(_fileno(stdin), _O_BINARY);
  if (!LayOutGameMemory() || !InstallChatDisplayRoutine()) return kLayoutFailed;
  Report("game", "base=" + Hex(GameBase) +
                     " root=" + Hex(reinterpret_cast<std::uintptr_t>(ChatRoot)) +
                     " chatobj=" + Hex(*ChatDisplayObject));

  // Wide arguments: the plugin's path may hold any character.
  int argumentCount = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  LoadPlugin(arguments != nullptr && argumentCount > 1 ? arguments[1] : nullptr);

  std::string line;
  while (std::getline(std::cin, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    RunCommand(line);
  }
  // The plugin's worker never ends: leave without waiting for it.
  ExitProcess(0);
}
