#include "relay/pending_lines.h"

#include <array>
#include <cstring>

#include "host/log.h"
#include "net/connection.h"
#include "relay/server_link.h"

namespace {

constexpr const char* kNotSent = "[Console] [Server] Not sent: ";

// The waiting lines, each ended by a zero byte (a command line holds none), and how many bytes
// of the first of them the connection took already.
std::array<char, kPendingLinesRoom> PendingBytes;
std::size_t PendingSize = 0;
std::size_t FirstLineSent = 0;

std::string_view PendingLineAt(std::size_t start) {
  const char* line = PendingBytes.data() + start;
  return std::string_view(line, std::strlen(line));
}

void LogNotSent(std::string_view line) {
  Log(loader::INFO, kNotSent, line);
}

// The lines before `start` went: the rest move to the front.
void DropSentLines(std::size_t start) {
  std::memmove(PendingBytes.data(), PendingBytes.data() + start, PendingSize - start);
  PendingSize -= start;
}

// Empties the buffer, logging each line still in it.
void DropPendingLines() {
  for (std::size_t start = 0; start < PendingSize; start += PendingLineAt(start).size() + 1) {
    LogNotSent(PendingLineAt(start));
  }
  PendingSize = 0;
  FirstLineSent = 0;
}

}  // namespace

void SendLine(std::string_view line) {
  line = line.substr(0, line.find('\0'));
  if (PendingSize + line.size() + 1 > PendingBytes.size()) {
    LogNotSent(line);
    return;
  }
  std::memcpy(PendingBytes.data() + PendingSize, line.data(), line.size());
  PendingBytes[PendingSize + line.size()] = 0;
  PendingSize += line.size() + 1;
  SendPendingLines();
}

void SendPendingLines() {
  if (PendingSize == 0) return;
  std::size_t start = 0;
  while (start < PendingSize) {
    const std::string_view line = PendingLineAt(start);
    const std::string_view rest = line.substr(FirstLineSent);
    const SendResult result = SendToServer(rest);
    if (result.status != SendStatus::kTaken) {
      DropSentLines(start);
      if (result.status == SendStatus::kFailed) {
        LoseLinkAndPendingLines();
      } else {
        DropPendingLines();
      }
      return;
    }
    if (result.taken < rest.size()) {
      FirstLineSent += result.taken;
      break;
    }
    FirstLineSent = 0;
    start += line.size() + 1;
  }
  DropSentLines(start);
}

void LoseLinkAndPendingLines() {
  LoseServerLink();
  DropPendingLines();
}
