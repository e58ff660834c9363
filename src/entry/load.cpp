#include "entry/load.h"

#include <atomic>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

#include "game/game_build.h"
#include "host/log.h"
#include "relay/relay_worker.h"

namespace {

constexpr const char* kWrongVersion = "Console: Wrong version";
constexpr const char* kLoading = "Console Plugin loading...";
constexpr const char* kAlreadyLoaded = "Console Plugin already loaded";
constexpr const char* kNoWorker = "Console: Can't start the worker thread: ";

// Set by the first Load, so that a further call never starts a second worker.
std::atomic<bool> LoadStarted{false};

// The worker's thread. Written once by Load; never joined. It is never destroyed either: the
// worker runs until the process ends, and destroying a running thread object would abort it.
std::thread& WorkerSlot() {
  static std::thread* slot = new std::thread();
  return *slot;
}

bool IsExpectedGameVersion(const char* version) {
  // A loader that reports no version is not one that this plugin was built for.
  if (version == nullptr) return false;
  return std::string(version) == kGameVersion;
}

}  // namespace

bool Load() {
  // Before the first line: the loader builds every line object there. Without it no line can be
  // written, so there is no one to tell.
  MakeLogLineRegion();
  if (LoadStarted.exchange(true)) {
    Log(loader::INFO, kAlreadyLoaded);
    return false;
  }
  // The gate only warns: a new game version may still have the same layout.
  if (!IsExpectedGameVersion(loader::GameVersion)) Log(loader::ERR, kWrongVersion);
  Log(loader::INFO, kLoading);

  try {
    WorkerSlot() = std::thread(RelayWorker);
  } catch (const std::system_error& e) {
    Log(loader::ERR, kNoWorker, e.what());
  }
  return false;
}
