#include "fake_host.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "fake_line_layout.h"
#include "game/chat_output.h"
#include "game/game_memory.h"
#include "help/help_file.h"
#include "host/log.h"
#include "host/log_line.h"
#include "host/log_reserve.h"
#include "net/connection.h"
#include "relay/pending_lines.h"

std::vector<LoggedLine> LoggedLines;
std::vector<std::string> ChatLines;
std::vector<std::string> SentBytes;
std::deque<std::string> PendingReceives;
bool ConsoleProgramClosed = false;
SocketState FakeSocket = SocketState::kConnected;
bool SocketsStart = true;
SocketOpening OpeningComesTo = SocketOpening::kOpened;
SocketState ConnectComesTo = SocketState::kConnected;
int SocketStartsTried = 0;
int ConnectsStarted = 0;
std::chrono::milliseconds LastConnectWait{-1};
std::size_t FakeLogLineExtraBytes = 0;
std::size_t FakeLogLinesBuilt = 0;
SendStatus SendStatusNow = SendStatus::kTaken;
std::size_t SendRoom = SIZE_MAX;

extern "C" {

loader::LogLevel LoaderMinLogLevel = loader::INFO;
const char* const LoaderGameVersion = "421470";

void LoaderLogConstruct(void* line, loader::LogLevel level) {
  BuildFakeLogLine(static_cast<unsigned char*>(line), level);
  std::memset(static_cast<unsigned char*>(line) + fake_line::kSize, 0xEE, FakeLogLineExtraBytes);
  ++FakeLogLinesBuilt;
}

void LoaderLogDestruct(void* line) {
  auto* bytes = static_cast<unsigned char*>(line);
  LoggedLines.push_back({LogLineLevel(bytes), FakeLogLineText(bytes)});
  DestroyFakeLogLine(bytes);
}

}  // extern "C"

bool MakeLogLineRegion() {
  // On the heap and exactly the region's size: the sanitizer stops a write past it.
  static unsigned char* const region = new unsigned char[kLogLineRegionBytes];
  LogLineRegion = region;
  return true;
}

void ShowChatMessage(std::string text) {
  ChatLines.push_back(std::move(text));
}

bool StartSockets() {
  ++SocketStartsTried;
  return SocketsStart;
}

SocketOpening OpenServerSocket() {
  FakeSocket = SocketState::kClosed;
  return OpeningComesTo;
}

SocketState ServerSocketState() {
  return FakeSocket;
}

SocketState StartConnecting() {
  ++ConnectsStarted;
  return FakeSocket = SocketState::kConnecting;
}

SocketState CheckConnecting(std::chrono::milliseconds wait) {
  LastConnectWait = wait;
  if (FakeSocket == SocketState::kConnecting) {
    FakeSocket = ConnectComesTo;
  }
  return FakeSocket;
}

void CloseServerSocket() {
  FakeSocket = SocketState::kClosed;
}

ReceiveStatus ReceiveFromServer(char* buffer, std::size_t length) {
  if (FakeSocket != SocketState::kConnected) return ReceiveStatus::kNothing;
  if (PendingReceives.empty()) {
    return ConsoleProgramClosed ? ReceiveStatus::kLost : ReceiveStatus::kNothing;
  }
  const std::string& bytes = PendingReceives.front();
  std::memcpy(buffer, bytes.data(), std::min(length, bytes.size()));
  PendingReceives.pop_front();
  return ReceiveStatus::kReceived;
}

SendResult SendToServer(std::string_view bytes) {
  if (FakeSocket != SocketState::kConnected) return {SendStatus::kNoConnection, 0};
  if (SendStatusNow != SendStatus::kTaken) return {SendStatusNow, 0};
  const std::size_t taken = std::min(bytes.size(), SendRoom);
  SendRoom -= taken;
  if (taken > 0) SentBytes.emplace_back(bytes.substr(0, taken));
  return {SendStatus::kTaken, taken};
}

std::vector<std::string> LoggedTexts() {
  std::vector<std::string> texts;
  for (const LoggedLine& line : LoggedLines) texts.push_back(line.text);
  return texts;
}

std::int32_t& FakeGame::state() {
  return *reinterpret_cast<std::int32_t*>(&chat[kChatStateOffset]);
}
unsigned char& FakeGame::firstChar() {
  return chat[kChatFirstCharOffset];
}
char* FakeGame::text() {
  return reinterpret_cast<char*>(&chat[kChatTextOffset]);
}

void FakeGame::TypeLine(const std::string& line) {
  text()[0] = '/';
  std::memcpy(text() + 1, line.data(), line.size());
  text()[1 + line.size()] = 0;
}

void ResetFakeHost(FakeGame& game) {
  // Lines an earlier test left waiting are dropped.
  LoseLinkAndPendingLines();
  FakeSocket = SocketState::kConnected;
  ConsoleProgramClosed = false;
  SocketsStart = true;
  OpeningComesTo = SocketOpening::kOpened;
  ConnectComesTo = SocketState::kConnected;
  SocketStartsTried = 0;
  ConnectsStarted = 0;
  LastConnectWait = std::chrono::milliseconds(-1);
  SendStatusNow = SendStatus::kTaken;
  SendRoom = SIZE_MAX;
  LoggedLines.clear();
  ChatLines.clear();
  SentBytes.clear();
  PendingReceives.clear();
  loader::MinLogLevel = loader::INFO;
  FakeLogLineExtraBytes = 0;
  FakeLogLinesBuilt = 0;
  LogLinesStopped = false;
  MakeLogLineRegion();
  game.chatRoot = reinterpret_cast<std::uintptr_t>(game.chat.data());
  GameBase = reinterpret_cast<std::uintptr_t>(&game.chatRoot) - kChatRootOffset;
  ResolveGameSlots();
}

namespace {

// The help folder entered last. Entering the next removes it, and so does the end of the
// process, so that no run leaves folders behind in the temporary directory.
struct EnteredHelpFolder {
  std::filesystem::path path;
  void Remove() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  ~EnteredHelpFolder() { Remove(); }
};
EnteredHelpFolder LastHelpFolder;

}  // namespace

void EnterFreshHelpFolder() {
  static int folderCount = 0;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("console-relay-test-" + std::to_string(::getpid()) + "-" + std::to_string(folderCount++));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "nativePC/plugins/ConsoleHelp");
  std::filesystem::current_path(folder);
  LastHelpFolder.Remove();
  LastHelpFolder.path = folder;
}

void WriteHelpFile(const std::string& command, const std::string& content) {
  const std::filesystem::path path = HelpFilePath(command);
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}
