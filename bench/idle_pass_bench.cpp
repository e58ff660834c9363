// Runs N idle relay passes through the fakes (nothing received, nothing typed), or N rounds of a
// baseline that only zeroes a 1024-byte buffer, so that callgrind can count their instructions:
//
//   valgrind --tool=callgrind idle_pass_bench relay|baseline N
//
// Both modes set up the same fakes first; two runs with different N give the cost of one pass
// without the program's start-up.
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fake_host.h"
#include "relay/relay_pass.h"

namespace {

// Outside any function, so that their stores are seen by the rest of the program and cannot be
// left out.
ReceiveBuffer PassBuffer{};
std::array<char, 1024> BaselineBuffer{};
bool CaptureArmed = false;

int Usage() {
  std::fprintf(stderr, "usage: idle_pass_bench relay|baseline N\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const bool relay = std::strcmp(argv[1], "relay") == 0;
  if (!relay && std::strcmp(argv[1], "baseline") != 0) return Usage();
  const long passes = std::strtol(argv[2], nullptr, 10);
  if (passes <= 0) return Usage();

  FakeGame game;
  ResetFakeHost(game);

  long skippedPauses = 0;
  if (relay) {
    for (long i = 0; i < passes; ++i) {
      if (RunRelayPass(PassBuffer, CaptureArmed) == NextPass::kAtOnce) ++skippedPauses;
    }
  } else {
    for (long i = 0; i < passes; ++i) {
      BaselineBuffer.fill(0);
      // Keeps the compiler from zeroing the buffer once for all rounds.
      std::atomic_signal_fence(std::memory_order_seq_cst);
    }
  }
  // An idle pass does nothing a test could see; anything else means the fakes were not idle.
  if (skippedPauses != 0 || !LoggedLines.empty() || !ChatLines.empty() || !SentBytes.empty()) {
    std::fprintf(stderr, "idle_pass_bench: the passes were not idle\n");
    return 1;
  }
  std::printf("%s: %ld passes\n", argv[1], passes);
  return 0;
}
