// Heap allocations of idle relay passes. The worker runs a pass about every 10 ms for as long as
// the game runs, so a pass with nothing to do must not touch the game's heap at all.
//
// This executable replaces every global allocation function with one that counts its calls.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "fake_host.h"
#include "relay/relay_pass.h"

namespace {

std::atomic<long> AllocationCount{0};
// Blocks given back; AllocationCount minus this is what is alive.
std::atomic<long> ReleaseCount{0};

void Release(void* memory) {
  if (memory == nullptr) return;
  ReleaseCount.fetch_add(1, std::memory_order_relaxed);
  std::free(memory);
}

void* CountedAllocation(std::size_t size) {
  AllocationCount.fetch_add(1, std::memory_order_relaxed);
  return std::malloc(size == 0 ? 1 : size);
}

void* CountedAlignedAllocation(std::size_t size, std::align_val_t alignment) {
  AllocationCount.fetch_add(1, std::memory_order_relaxed);
  const auto align = static_cast<std::size_t>(alignment);
  const std::size_t bytes = size == 0 ? 1 : size;
#if defined(_MSC_VER)
  return _aligned_malloc(bytes, align);
#else
  // aligned_alloc takes only whole multiples of the alignment.
  return std::aligned_alloc(align, (bytes + align - 1) / align * align);
#endif  // _MSC_VER
}

void ReleaseAligned(void* memory) {
  if (memory == nullptr) return;
  ReleaseCount.fetch_add(1, std::memory_order_relaxed);
#if defined(_MSC_VER)
  _aligned_free(memory);
#else
  std::free(memory);
#endif  // _MSC_VER
}

void* OrThrow(void* memory) {
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

// Every form is replaced, so that no allocation bypasses the count and no block is freed by an
// allocator other than the one that made it.
void* operator new(std::size_t size) {
  return OrThrow(CountedAllocation(size));
}
void* operator new[](std::size_t size) {
  return OrThrow(CountedAllocation(size));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return CountedAllocation(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return OrThrow(CountedAlignedAllocation(size, alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return OrThrow(CountedAlignedAllocation(size, alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return CountedAlignedAllocation(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return CountedAlignedAllocation(size, alignment);
}

void operator delete(void* memory) noexcept {
  Release(memory);
}
void operator delete[](void* memory) noexcept {
  Release(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  Release(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  Release(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  Release(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  Release(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
  ReleaseAligned(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
  ReleaseAligned(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
  ReleaseAligned(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
  ReleaseAligned(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  ReleaseAligned(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  ReleaseAligned(memory);
}

namespace {

constexpr int kPasses = 1000;

class IdlePass : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakeHost(game); }

  // Runs the passes, with `between` before each (the game's part), and returns the allocations
  // they made. Nothing else is looked at inside the count: even a passing check may allocate.
  template <typename Between>
  long AllocationsOfPasses(Between&& between) {
    const long before = AllocationCount.load();
    for (int i = 0; i < kPasses; ++i) {
      between();
      if (RunRelayPass(buffer, armed) == NextPass::kAtOnce) ++skippedPauses;
    }
    return AllocationCount.load() - before;
  }

  // The figure, also recorded in the test's XML or JSON output for scripts/bench.sh.
  void Report(const char* what, long allocations, int passes) {
    RecordProperty(std::string(what) + "_passes", passes);
    RecordProperty(std::string(what) + "_allocations", static_cast<int>(allocations));
    std::printf("[  FIGURE  ] %s: %ld allocations in %d passes (%.3f per pass)\n", what,
                allocations, passes, static_cast<double>(allocations) / passes);
  }

  FakeGame game;
  ReceiveBuffer buffer{};
  bool armed = false;
  int skippedPauses = 0;
};

TEST_F(IdlePass, CountsTheAllocationsOfThisProgram) {
  // Without this, a replacement that never took effect would let every other test pass.
  const long before = AllocationCount.load();
  // Called directly: a new-expression whose result is unused may be optimised away.
  ::operator delete(::operator new(sizeof(int)));
  ::operator delete[](::operator new[](64));
  EXPECT_EQ(AllocationCount.load() - before, 2);
}

TEST_F(IdlePass, NothingReceivedAndNothingTypedAllocatesNothingWithOrWithoutALink) {
  const long allocations = AllocationsOfPasses([] {});
  // No console program: the passes look for one every so often, and find none.
  CloseServerSocket();
  ConnectComesTo = SocketState::kClosed;
  const long unlinked = AllocationsOfPasses([] {});
  Report("idle", allocations, kPasses);
  Report("idle_unlinked", unlinked, kPasses);
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(unlinked, 0);
  EXPECT_EQ(skippedPauses, 0);
  EXPECT_FALSE(armed);
  EXPECT_TRUE(LoggedLines.empty());
  EXPECT_TRUE(ChatLines.empty());
  EXPECT_TRUE(SentBytes.empty());
}

TEST_F(IdlePass, ArmedButNotTakenAllocatesNothing) {
  game.TypeLine("kick bob 2");
  game.firstChar() = '/';
  game.state() = 2;
  // The player goes on typing: the game writes the blanked byte back before each pass.
  const long typing = AllocationsOfPasses([&] { game.text()[0] = '/'; });
  EXPECT_TRUE(armed);
  // Enter is not pressed yet, but the first byte has gone; then the chat is left idle, armed.
  game.firstChar() = 0;
  const long notSent = AllocationsOfPasses([] {});
  game.state() = 5;
  game.firstChar() = '/';
  const long sentWithFirstByte = AllocationsOfPasses([] {});
  game.state() = 0;
  const long idleArmed = AllocationsOfPasses([] {});

  Report("armed", typing + notSent + sentWithFirstByte + idleArmed, 4 * kPasses);
  EXPECT_EQ(typing, 0);
  EXPECT_EQ(notSent, 0);
  EXPECT_EQ(sentWithFirstByte, 0);
  EXPECT_EQ(idleArmed, 0);
  EXPECT_TRUE(armed);
  EXPECT_EQ(skippedPauses, 0);
  EXPECT_TRUE(LoggedLines.empty());
  EXPECT_TRUE(SentBytes.empty());
}

TEST_F(IdlePass, LinesWaitingForAConsoleProgramThatDoesNotReadAllocateNothing) {
  SendRoom = 3;
  for (const char* line : {"kick bob 2", "kick eve 3"}) {
    game.TypeLine(line);
    game.state() = 2;
    game.firstChar() = '/';
    RunRelayPass(buffer, armed);
    game.state() = 5;
    game.firstChar() = 0;
    RunRelayPass(buffer, armed);
    game.state() = 0;
  }
  const long waiting = AllocationsOfPasses([] {});

  Report("waiting", waiting, kPasses);
  EXPECT_EQ(waiting, 0);
  EXPECT_EQ(SentBytes, std::vector<std::string>{"kic"});
  SendRoom = SIZE_MAX;
  RunRelayPass(buffer, armed);
  EXPECT_EQ(SentBytes, (std::vector<std::string>{"kic", "k bob 2", "kick eve 3"}));
}

TEST_F(IdlePass, LongBusyRunDoesNotGrowMemory) {
  EnterFreshHelpFolder();
  WriteHelpFile("kick", R"({"help": ["Kicks a player.", "Usage: /kick <name>"]})");
  long sent = 0;
  // The fakes' own records grow with every line; they are dropped before each look.
  auto dropRecords = [&] {
    sent += static_cast<long>(SentBytes.size());
    std::vector<LoggedLine>().swap(LoggedLines);
    std::vector<std::string>().swap(ChatLines);
    std::vector<std::string>().swap(SentBytes);
    std::deque<std::string>().swap(PendingReceives);
  };
  // Console messages, forwarded lines and help requests, as a busy session has them.
  auto busyPasses = [&](int passes) {
    for (int i = 0; i < passes; ++i) {
      if (i % 10 == 0) PendingReceives.push_back("console message " + std::to_string(i));
      switch (i % 50) {
        case 1:
          game.TypeLine(i % 100 == 1 ? "kick" : "kick bob " + std::to_string(i));
          game.state() = 2;
          game.firstChar() = '/';
          break;
        case 2:
          game.state() = 5;
          game.firstChar() = 0;
          break;
        case 3:
          game.state() = 0;
          break;
      }
      RunRelayPass(buffer, armed);
    }
    dropRecords();
  };
  auto alive = [] { return AllocationCount.load() - ReleaseCount.load(); };

  busyPasses(2000);  // the first help request and log lines set up the library's caches
  const long aliveAfterWarmUp = alive();
  busyPasses(20000);
  const long aliveAfterRun = alive();

  std::printf("[  FIGURE  ] busy: %ld blocks alive after 2000 passes, %ld after 20000 more\n",
              aliveAfterWarmUp, aliveAfterRun);
  EXPECT_EQ(aliveAfterRun, aliveAfterWarmUp);
  EXPECT_EQ(sent, 22000 / 100);  // every other typed line is forwarded
}

}  // namespace
