#include "relay/relay_worker.h"

#include <exception>
#include <thread>

#include "common/cut_reason.h"
#include "game/game_memory.h"
#include "game/game_module.h"
#include "host/log.h"
#include "plugin_numbers.h"
#include "relay/relay_pass.h"
#include "relay/server_link.h"

namespace {

constexpr const char* kReady = "[Console] Ready...";
constexpr const char* kNoGameModuleOpen = "[Console] ";
constexpr const char* kNoGameModuleClose = "; the console stays off";
constexpr const char* kPassFailed = "[Console] A pass failed and was skipped: ";

// Keeps one failing pass (a help file too large for memory, say) from ending the worker.
NextPass RunContainedPass(ReceiveBuffer& buffer, bool& captureArmed) {
  try {
    return RunRelayPass(buffer, captureArmed);
  } catch (const std::exception& e) {
    try {
      Log(loader::INFO, kPassFailed, CutReason(e.what()));
    } catch (...) {
    }
  } catch (...) {
    try {
      Log(loader::INFO, kPassFailed, "unknown error");
    } catch (...) {
    }
  }
  return NextPass::kAfterPause;
}

}  // namespace

void RelayWorker() {
  // Anywhere but in the game, following the chat root would read unmapped memory.
  const Result<std::uintptr_t> gameModule = FindGameModule();
  if (!gameModule) {
    Log(loader::INFO, kNoGameModuleOpen, gameModule.why(), kNoGameModuleClose);
    return;
  }
  GameBase = *gameModule;
  // The game starts before the console program is looked for.
  std::this_thread::sleep_for(kSetUpConnectDelay);
  // Each failure is logged where it happens, and the passes look for the console program again
  // while there is no link.
  ConnectToServer();
  // The game loads before its memory is first read.
  std::this_thread::sleep_for(kSetUpGameWait);
  while (!IsGameReady()) std::this_thread::sleep_for(kReadinessRetry);
  ResolveGameSlots();
  Log(loader::INFO, kReady);

  ReceiveBuffer buffer{};
  bool captureArmed = false;
  for (;;) {
    if (RunContainedPass(buffer, captureArmed) == NextPass::kAfterPause) {
      std::this_thread::sleep_for(kPassPause);
    }
  }
}
