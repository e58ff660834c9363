#include "connections/reply_queues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const PolicyClock::time_point kStart;

// Adds count texts for a connection; returns how many were queued and the notes.
struct Flood {
  std::size_t queued = 0;
  std::size_t notes = 0;
};

Flood AddMany(ReplyQueues& queues, ConnectionId to, std::size_t count) {
  Flood flood;
  for (std::size_t i = 0; i < count; ++i) {
    const Noted<bool> added = queues.Add(to, "line " + std::to_string(i));
    flood.queued += added.value ? 1 : 0;
    flood.notes += added.notes.size();
  }
  return flood;
}

// Takes every message due, a gap apart, from a time on; returns how many went to the connection.
std::size_t Drain(ReplyQueues& queues, ConnectionId to, PolicyClock::time_point& now) {
  std::size_t sent = 0;
  for (;;) {
    const std::vector<DueMessage> due = queues.TakeDue(now);
    if (due.empty()) return sent;
    for (const DueMessage& message : due) sent += message.to == to ? 1 : 0;
    now += kGapBetweenMessages;
  }
}

TEST(ReplyQueues, ATextFitsOneMessageUpToItsBound) {
  struct Row {
    std::string text;
    bool queued;
  };
  const Row rows[] = {
      {std::string(kLongestText, 'x'), true},
      {std::string(kLongestText + 1, 'x'), false},
      {"", false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text.size());
    ReplyQueues queues;
    queues.Open(1);
    const Noted<bool> added = queues.Add(1, row.text);
    EXPECT_EQ(added.value, row.queued);
    EXPECT_EQ(added.notes.size(), row.queued ? 0u : 1u);
    const std::vector<DueMessage> due = queues.TakeDue(kStart);
    EXPECT_EQ(due.size(), row.queued ? 1u : 0u);
    if (row.queued) {
      EXPECT_EQ(due[0].message.size(), kLongestMessage);
    }
  }
}

TEST(ReplyQueues, EachFloodAfterADrainIsToldOnce) {
  ReplyQueues queues;
  queues.Open(1);
  PolicyClock::time_point now = kStart;
  for (int flood = 1; flood <= 2; ++flood) {
    SCOPED_TRACE(flood);
    const Flood atBound = AddMany(queues, 1, kMostQueued);
    EXPECT_EQ(atBound.queued, kMostQueued);
    EXPECT_EQ(atBound.notes, 0u);
    const Flood past = AddMany(queues, 1, 2);
    EXPECT_EQ(past.queued, 0u);
    EXPECT_EQ(past.notes, 1u);
    EXPECT_EQ(Drain(queues, 1, now), kMostQueued);
  }
}

TEST(ReplyQueues, OneConnectionsFloodLeavesAnothersRoom) {
  ReplyQueues queues;
  queues.Open(1);
  queues.Open(2);
  AddMany(queues, 1, kMostQueued + 1);
  const Noted<bool> game = queues.Add(2, "kicked");
  EXPECT_TRUE(game.value);
  EXPECT_TRUE(game.notes.empty());
  const std::vector<DueMessage> due = queues.TakeDue(kStart);
  EXPECT_EQ(due, (std::vector<DueMessage>{{1, "console line 0"}, {2, "console kicked"}}));
}

TEST(ReplyQueues, MessagesToAConnectionGoAGapApart) {
  ReplyQueues queues;
  queues.Open(1);
  AddMany(queues, 1, 2);
  EXPECT_EQ(queues.TakeDue(kStart).size(), 1u);
  EXPECT_TRUE(queues.TakeDue(kStart + kGapBetweenMessages - std::chrono::milliseconds(1)).empty());
  EXPECT_EQ(queues.TakeDue(kStart + kGapBetweenMessages).size(), 1u);
}

TEST(ReplyQueues, ATypedLineGoesToEveryOpenConnection) {
  ReplyQueues queues;
  const Noted<bool> none = queues.AddForEveryone("hello");
  EXPECT_FALSE(none.value);
  EXPECT_EQ(none.notes.size(), 1u);
  queues.Open(1);
  queues.Open(2);
  queues.Open(3);
  queues.Add(3, "waiting");
  EXPECT_EQ(queues.Close(3), 1u);
  EXPECT_TRUE(queues.AddForEveryone("hello").value);
  EXPECT_EQ(queues.TakeDue(kStart),
            (std::vector<DueMessage>{{1, "console hello"}, {2, "console hello"}}));
  const Noted<bool> closed = queues.Add(3, "late output");
  EXPECT_FALSE(closed.value);
  EXPECT_EQ(closed.notes.size(), 1u);
}

}  // namespace
