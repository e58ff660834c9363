// Stand-ins for what the plugin's platform-neutral code calls outside itself: the loader's log,
// the game's chat routine, the socket and game memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/loader.h"
#include "net/connection.h"

struct LoggedLine {
  loader::LogLevel level;
  std::string text;
  bool operator==(const LoggedLine& other) const {
    return level == other.level && text == other.text;
  }
};

// Everything the code under test did, in order.
extern std::vector<LoggedLine> LoggedLines;
extern std::vector<std::string> ChatLines;
extern std::vector<std::string> SentBytes;
// What each coming receive returns; an empty queue receives nothing, or finds the connection
// gone once ConsoleProgramClosed is set.
extern std::deque<std::string> PendingReceives;
extern bool ConsoleProgramClosed;
// The socket, as the connection calls leave it. Windows Sockets starts when SocketsStart says
// so, and a socket opens as OpeningComesTo says. A connect that was started becomes, at the next
// look, what ConnectComesTo says: connected, refused or met itself (closed), or still under way.
extern SocketState FakeSocket;
extern bool SocketsStart;
extern SocketOpening OpeningComesTo;
extern SocketState ConnectComesTo;
extern int SocketStartsTried;
extern int ConnectsStarted;
// How long the last look at a connect under way was allowed to wait.
extern std::chrono::milliseconds LastConnectWait;
// Bytes that the fake loader's line object has after the level, as a newer loader's may have;
// LoaderLogConstruct fills them.
extern std::size_t FakeLogLineExtraBytes;
// How many line objects the fake loader was asked to build.
extern std::size_t FakeLogLinesBuilt;
// How the connection takes sends: while SendStatusNow is kTaken, up to SendRoom bytes more in
// all (every byte by default), which SentBytes records send by send.
extern SendStatus SendStatusNow;
extern std::size_t SendRoom;

// A log line object laid out as the loader's, built by hand around a stream buffer that keeps
// what is written into it; LoaderLogConstruct makes one, LoaderLogDestruct records and ends it.
void BuildFakeLogLine(unsigned char* line, loader::LogLevel level);
const std::string& FakeLogLineText(const unsigned char* line);
void DestroyFakeLogLine(unsigned char* line);

// The texts of LoggedLines, for comparisons that do not care about levels.
std::vector<std::string> LoggedTexts();

// A chat object in test memory with a chat root pointing at it, and GameBase set so that the
// plugin finds the root where the game keeps it.
struct FakeGame {
  std::uint64_t chatRoot = 0;
  std::vector<unsigned char> chat = std::vector<unsigned char>(0x3000, 0);

  std::int32_t& state();
  unsigned char& firstChar();
  char* text();
  void TypeLine(const std::string& line);  // the text buffer holds "/" + line
};

// Clears all records, points the chat root at a fresh FakeGame and resolves the slots.
void ResetFakeHost(FakeGame& game);

// Makes a fresh empty folder the current directory for help files, for the life of the test.
void EnterFreshHelpFolder();
// Writes the help file of the command below the current directory.
void WriteHelpFile(const std::string& command, const std::string& content);
