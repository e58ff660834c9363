#include "relay/relay_worker.h"

#include <chrono>
#include <exception>
#include <thread>

#include "game/game_memory.h"
#include "game/game_module.h"
#include "host/log.h"
#include "net/connection.h"
#include "relay/cut_reason.h"
#include "relay/relay_pass.h"

namespace {

// The set-up takes 45 s before the first pass: this wait of 5 s gives the game time to start
// before the console program is looked for, and kSetUpGameWait (game/game_memory.cpp), 40 s
// more, gives it time to load before its memory is read.
constexpr auto kSetUpConnectDelay = std::chrono::milliseconds(5000);
constexpr auto kPassPause = std::chrono::milliseconds(10);

constexpr const char* kReady = "[Console] Ready...";
constexpr const char* kNoGameModule =
    "[Console] Zandrel.exe is not loaded in this process; the console stays off";
constexpr const char* kPassFailed = "[Console] A pass failed and was skipped: ";

// Keeps one failing pass (a help file too large for memory, say) from ending the worker.
bool RunContainedPass(ReceiveBuffer& buffer, bool& captureArmed) {
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
  return true;
}

}  // namespace

void RelayWorker() {
  GameBase = FindGameModule();
  // Anywhere but in the game, following the chat root would read unmapped memory.
  if (GameBase == 0) {
    Log(loader::INFO, kNoGameModule);
    return;
  }
  std::this_thread::sleep_for(kSetUpConnectDelay);
  ConnectToServer();
  WaitForGame();
  ResolveGameSlots();
  Log(loader::INFO, kReady);

  ReceiveBuffer buffer{};
  bool captureArmed = false;
  for (;;) {
    if (RunContainedPass(buffer, captureArmed)) std::this_thread::sleep_for(kPassPause);
  }
}
