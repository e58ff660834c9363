#include "game/game_memory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "fake_host.h"

namespace {

std::uintptr_t AddressOf(const void* p) {
  return reinterpret_cast<std::uintptr_t>(p);
}

TEST(ResolvePointerChain, FollowsEachOffsetFromTheValueStoredAtTheCurrentAddress) {
  std::uint64_t cells[4] = {};
  cells[0] = AddressOf(&cells[2]) - 8;
  cells[2] = 0x1000;

  EXPECT_EQ(ResolvePointerChain(AddressOf(&cells[0]), {}), AddressOf(&cells[0]));
  EXPECT_EQ(ResolvePointerChain(AddressOf(&cells[0]), {0x10}), cells[0] + 0x10);
  EXPECT_EQ(ResolvePointerChain(AddressOf(&cells[0]), {8, 0x20}), 0x1020u);
}

TEST(ResolvePointerChain, AddsOffsetsZeroExtended) {
  std::uint64_t cell = 0x100000000;
  EXPECT_EQ(ResolvePointerChain(AddressOf(&cell), {0xFFFFFFFF}), 0x1FFFFFFFFu);
}

TEST(IsGameReady, LooksOnlyAtTheLowOrder32BitsOfTheChatRoot) {
  struct Case {
    std::uint64_t chatRoot;
    bool ready;
  };
  const Case cases[] = {
      {0, false}, {0x0000000100000000, false}, {0xFFFFFFFF00000000, false},
      {1, true},  {0x0000000180000000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.chatRoot);
    std::uint64_t chatRoot = c.chatRoot;
    GameBase = AddressOf(&chatRoot) - kChatRootOffset;
    EXPECT_EQ(IsGameReady(), c.ready);
  }
  GameBase = 0;
}

TEST(GameSlots, AreResolvedFromTheChatRootAsItIsThen) {
  FakeGame game;
  ResetFakeHost(game);
  const std::uintptr_t chat = AddressOf(game.chat.data());
  EXPECT_EQ(ChatState, chat + kChatStateOffset);
  EXPECT_EQ(ChatText, chat + kChatTextOffset);
  EXPECT_EQ(ChatFirstChar, chat + kChatFirstCharOffset);

  game.state() = 5;
  game.firstChar() = '/';
  EXPECT_EQ(ReadChatState(), 5);
  EXPECT_EQ(ReadChatFirstChar(), '/');

  // A later change of the root does not move the slots.
  FakeGame other;
  game.chatRoot = AddressOf(other.chat.data());
  EXPECT_EQ(ChatState, chat + kChatStateOffset);
}

TEST(CommandLineCopy, SkipsTheFirstByteAndStopsAtZero) {
  FakeGame game;
  ResetFakeHost(game);
  game.TypeLine("spawn 3");
  game.text()[0] = 'x';
  EXPECT_EQ(CopyCommandLine(), "spawn 3");
  BlankChatText();
  EXPECT_EQ(game.text()[0], 0);
  EXPECT_EQ(CopyCommandLine(), "spawn 3");
}

TEST(CommandLineCopy, NeverReadsPastTheChatTextIntoTheStateWord) {
  FakeGame game;
  ResetFakeHost(game);
  std::memset(game.text(), 'a', kChatStateOffset - kChatTextOffset);
  game.state() = 0x41414141;
  const std::string line = CopyCommandLine();
  EXPECT_EQ(line.size(), kMaxCommandLine);
  EXPECT_EQ(line.find_first_not_of('a'), std::string::npos);
}

TEST(CommandLineCopy, KeepsBytesAboveAscii) {
  FakeGame game;
  ResetFakeHost(game);
  game.TypeLine("\x80\xff\xe9 x");
  EXPECT_EQ(CopyCommandLine(), "\x80\xff\xe9 x");
}

}  // namespace
