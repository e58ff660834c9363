#include "sim_report.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "sim_report_internal.h"

namespace {

// Set once by StartSimReport, before any report can be made.
std::int64_t LoadTicks = 0;
std::int64_t TicksPerSecond = 1;

// One lock for all threads: the plugin's worker and the game's command loop print at once.
std::mutex ReportLock;

std::int64_t Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

}  // namespace

void StartSimReport() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  TicksPerSecond = frequency.QuadPart;
  LoadTicks = Ticks();
  // Lines end in a bare "\n" on every platform, so a harness reads the same bytes everywhere.
  _setmode(_fileno(stdout), _O_BINARY);
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7F || byte == '\\') {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
}

extern "C" unsigned long long SimMilliseconds() {
  const std::int64_t elapsed = Ticks() - LoadTicks;
  // Split, so that a long run cannot overflow elapsed * 1000.
  return static_cast<unsigned long long>(elapsed / TicksPerSecond * 1000 +
                                         elapsed % TicksPerSecond * 1000 / TicksPerSecond);
}

extern "C" std::size_t SimEscape(const char* bytes, std::size_t length, char* out) {
  std::string escaped;
  AppendEscaped(escaped, std::string_view(bytes, length));
  escaped.copy(out, escaped.size());
  return escaped.size();
}

extern "C" void SimReport(const char* kind, const char* payload) {
  try {
    std::string line;
    {
      std::lock_guard<std::mutex> hold(ReportLock);
      // The time is taken under the lock, so the lines come out in the order of their times.
      line = std::to_string(SimMilliseconds()) + ' ' + kind;
      if (payload != nullptr && *payload != 0) line.append(" ").append(payload);
      line += '\n';
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fflush(stdout);
    }
  } catch (...) {
    // Out of memory: the line is lost, but a report never takes the caller down.
  }
}
