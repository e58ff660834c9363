#include "connections/connection_policy.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

// For failures: a command line as "3:kick bob".
void PrintTo(const CommandLine& line, std::ostream* out) {
  *out << line.from << ':' << line.line;
}

namespace {

using std::chrono::milliseconds;

enum class Event { kOpen, kRead, kEnd, kWait };

// One thing that happens to the policy, at a time since the first step, and what it decides.
struct Step {
  Event event;
  ConnectionId id;
  std::string bytes;  // what a read brought
  milliseconds at{0};
  std::vector<CommandLine> lines = {};
  std::vector<ConnectionId> closed = {};
  std::string marks = "";  // of the printed lines, in order
};

struct Story {
  std::string name;
  std::vector<Step> steps;
};

Step Open(ConnectionId id, milliseconds at = milliseconds(0)) {
  return {Event::kOpen, id, "", at, {}, {}, "*"};
}

// A read that makes its own command line at once.
Step Line(ConnectionId id, const std::string& line, milliseconds at = milliseconds(0)) {
  return {Event::kRead, id, line, at, {{id, line}}};
}

// A read held while it may begin a web request.
Step Held(ConnectionId id, const std::string& bytes, milliseconds at = milliseconds(0)) {
  return {Event::kRead, id, bytes, at};
}

Step WebClosed(ConnectionId id, const std::string& bytes, milliseconds at = milliseconds(0)) {
  return {Event::kRead, id, bytes, at, {}, {id}, "!"};
}

// Opens connections first to last, each one at its own time.
std::vector<Step> OpenAll(ConnectionId first, ConnectionId last) {
  std::vector<Step> steps;
  for (ConnectionId id = first; id <= last; ++id) steps.push_back(Open(id));
  return steps;
}

std::vector<Step> Joined(std::vector<std::vector<Step>> parts) {
  std::vector<Step> steps;
  for (std::vector<Step>& part : parts) steps.insert(steps.end(), part.begin(), part.end());
  return steps;
}

std::string Marks(const Decisions& decisions) {
  std::string marks;
  for (const PrintedLine& line : decisions.printed) marks += line.mark;
  return marks;
}

const std::string kRequestStart = "GET /";
const std::string kRequestEnd = " HTTP/1.1\n";

// A request line of exactly this many bytes, its line end the last of them.
std::string RequestLineOf(std::size_t size) {
  return kRequestStart + std::string(size - kRequestStart.size() - kRequestEnd.size(), 'a') +
         kRequestEnd;
}

const milliseconds kHold = std::chrono::duration_cast<milliseconds>(kLongestHold);
const milliseconds kOneMs(1);

TEST(ConnectionPolicy, DecidesForEachConnectionAlone) {
  const ConnectionId kFull = kMostConnections;
  // A request's start, one byte short of the tested bytes.
  const std::string oneShort =
      kRequestStart + std::string(kWebTestBytes - kRequestStart.size() - 1, 'a');
  const Story stories[] = {
      {"a squatter that sends lines leaves the game answered",
       {Open(1), Line(1, "hello"), Open(2), Line(2, "kick bob"), Line(1, "squat"),
        Line(2, "kick eve")}},
      {"silent connections before and after the game close nothing",
       Joined({OpenAll(1, 2),
               {Line(2, "kick bob")},
               OpenAll(3, 7),
               {Line(2, "kick eve"), Line(7, "late")}})},
      {"a full table refuses the next one, and an end makes room again",
       Joined({OpenAll(1, kFull),
               {{Event::kOpen, kFull + 1, "", kOneMs, {}, {kFull + 1}, "!"},
                Line(1, "kick bob"),
                Line(kFull, "kick eve"),
                {Event::kEnd, 2, "", kOneMs, {}, {2}, "*"},
                Open(kFull + 2),
                Line(kFull + 2, "kick ann")}})},
      {"a web request in pieces is closed, and nothing of it answered",
       {Open(1),
        Held(1, "GET / HT"),
        WebClosed(1, "TP/1.1\r\n\r\n", milliseconds(200)),
        {Event::kWait, 0, "", kHold}}},
      {"a whole request line at once",
       {Open(1), WebClosed(1, "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")}},
      {"a TLS opening, whole or in two pieces",
       {Open(1), WebClosed(1, "\x16\x03\x01\x02\x00"), Open(2), Held(2, "\x16"),
        WebClosed(2, "\x03\x01")}},
      {"two reads during a hold stay two lines, released at the hold's end",
       {Open(1),
        Held(1, "SAY hello"),
        Held(1, "BAN", milliseconds(200)),
        {Event::kWait, 0, "", kHold - kOneMs},
        {Event::kWait, 0, "", kHold, {{1, "SAY hello"}, {1, "BAN"}}},
        Line(1, "GET / HTTP/1.1\n", kHold)}},
      {"a held start that turns out a command releases each read",
       {Open(1),
        Held(1, "SAY hello"),
        Held(1, "X"),
        {Event::kRead, 1, " there", kOneMs, {{1, "SAY hello"}, {1, "X"}, {1, " there"}}}}},
      {"a request line that ends within the tested bytes is closed",
       {Open(1), WebClosed(1, RequestLineOf(kWebTestBytes))}},
      {"one that ends past them is a command line",
       {Open(1), Line(1, RequestLineOf(kWebTestBytes + 1))}},
      {"held bytes go once they fill the tested bytes",
       {Open(1), Held(1, oneShort), {Event::kRead, 1, "b", kOneMs, {{1, oneShort}, {1, "b"}}}}},
      {"a connection that ends while held is answered nothing",
       {Open(1),
        Held(1, "SAY"),
        {Event::kEnd, 1, "", kOneMs, {}, {1}, "*"},
        {Event::kWait, 0, "", kHold},
        {Event::kRead, 1, "late", kHold}}},
  };
  for (const Story& story : stories) {
    SCOPED_TRACE(story.name);
    ConnectionPolicy policy;
    const PolicyClock::time_point start;
    for (std::size_t i = 0; i < story.steps.size(); ++i) {
      const Step& step = story.steps[i];
      SCOPED_TRACE("step " + std::to_string(i + 1));
      const PolicyClock::time_point now = start + step.at;
      const Decisions decided =
          step.event == Event::kOpen   ? policy.Opened(step.id, "127.0.0.1:5000", now)
          : step.event == Event::kRead ? policy.Received(step.id, step.bytes, now)
          : step.event == Event::kEnd  ? policy.Ended(step.id)
                                       : policy.ReleaseDue(now);
      EXPECT_EQ(decided.lines, step.lines);
      EXPECT_EQ(decided.closed, step.closed);
      EXPECT_EQ(Marks(decided), step.marks);
    }
  }
}

}  // namespace
