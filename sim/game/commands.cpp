#include "commands.h"

#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "chat_display.h"
#include "command_text.h"
#include "game_memory_layout.h"
#include "host/loader.h"
#include "player_chat.h"
#include "plugin_host.h"
#include "sim_clock.h"
#include "sim_output.h"
#include "sim_report.h"

namespace {

// The chat object every command acts on; object 0 until "object N" selects another.
std::uint64_t SelectedNumber = 0;

unsigned char* Selected() {
  return ChatObject(SelectedNumber);
}

std::string Address(const void* pointer) {
  return Hex(reinterpret_cast<std::uintptr_t>(pointer));
}

// A command's result: what follows the verb on its "done" line.
using DoneText = std::string;
using Handler = DoneText (*)(std::string_view arguments);

// Reports a mistake in a command; the command still ends with its "done" line.
DoneText Fail(const std::string& message) {
  Report("error", Escaped(message));
  return "";
}

bool TakeUnsigned(std::string_view& arguments, std::uint64_t& value) {
  return ParseUnsigned(TakeWord(arguments), value);
}

bool TakeSigned(std::string_view& arguments, std::int64_t low, std::int64_t high,
                std::int64_t& value) {
  return ParseSigned(TakeWord(arguments), value) && value >= low && value <= high;
}

DWORD AsSleepMs(std::uint64_t ms) {
  return static_cast<DWORD>(std::min<std::uint64_t>(ms, INFINITE - 1));
}

DoneText Ready(std::string_view) {
  *ChatRoot = reinterpret_cast<std::uintptr_t>(Selected());
  return "";
}

DoneText Root(std::string_view arguments) {
  std::uint64_t value = 0;
  if (!TakeUnsigned(arguments, value)) return Fail("usage: root VALUE");
  *ChatRoot = value;
  return "";
}

DoneText Object(std::string_view arguments) {
  std::uint64_t number = 0;
  if (!TakeUnsigned(arguments, number)) return Fail("usage: object N");
  unsigned char* object = ChatObject(number);
  if (object == nullptr) return Fail("out of memory for chat object " + std::to_string(number));
  SelectedNumber = number;
  return std::to_string(number) + ' ' + Address(object);
}

DoneText Type(std::string_view arguments) {
  TypeChatLine(Selected(), DecodeEscapes(arguments));
  return "";
}

DoneText Cancel(std::string_view arguments) {
  CancelChatLine(Selected(), DecodeEscapes(arguments));
  return "";
}

DoneText Bind(std::string_view arguments) {
  SendBoundLine(Selected(), DecodeEscapes(arguments));
  return "";
}

// As "type", with Enter a chosen time later; gives the clock at Enter, so that a measurement can
// time the plugin's take from that moment.
DoneText TimedType(std::string_view arguments) {
  std::uint64_t ms = 0;
  if (!TakeUnsigned(arguments, ms)) return Fail("usage: timedtype MS TEXT");
  return std::to_string(TypeChatLine(Selected(), DecodeEscapes(arguments), AsSleepMs(ms)));
}

DoneText Set(std::string_view arguments) {
  const std::string_view knob = TakeWord(arguments);
  std::uint64_t ms = 0;
  if (!TakeUnsigned(arguments, ms)) return Fail("usage: set typewait|hold MS");
  if (knob == "typewait") {
    TypeWaitMs = ms;
  } else if (knob == "hold") {
    HoldMs = ms;
  } else {
    return Fail("usage: set typewait|hold MS");
  }
  return "";
}

DoneText Poke(std::string_view arguments) {
  const std::string_view field = TakeWord(arguments);
  unsigned char* object = Selected();
  std::int64_t value = 0;
  if (field == "state") {
    // Either reading of 32 bits is taken, so 0xFFFFFFFF and -1 both work.
    if (!TakeSigned(arguments, std::numeric_limits<std::int32_t>::min(),
                    std::numeric_limits<std::uint32_t>::max(), value)) {
      return Fail("usage: poke state N");
    }
    ChatState(object) = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  } else if (field == "first") {
    if (!TakeSigned(arguments, 0, 0xFF, value)) return Fail("usage: poke first N");
    ChatFirstChar(object) = static_cast<unsigned char>(value);
  } else if (field == "text") {
    const std::string text = DecodeEscapes(arguments) + '\0';
    if (WriteChatText(object, 0, text) < text.size()) {
      return Fail("text clipped to the chat object");
    }
  } else if (field == "textat") {
    std::uint64_t offset = 0;
    if (!TakeUnsigned(arguments, offset)) return Fail("usage: poke textat OFFSET TEXT");
    const std::string text = DecodeEscapes(arguments);
    if (offset > kChatTextRoom || WriteChatText(object, offset, text) < text.size()) {
      return Fail("text clipped to the chat object");
    }
  } else {
    return Fail("usage: poke state|first|text|textat ...");
  }
  return "";
}

DoneText Peek(std::string_view) {
  unsigned char* object = Selected();
  volatile unsigned char* text = ChatText(object);
  // As much as the plugin may take: from the second byte, up to the state word.
  constexpr std::size_t kMostTaken = kChatStateOffset - kChatTextOffset - 1;
  std::string taken;
  for (std::size_t i = 1; i <= kMostTaken && text[i] != 0; ++i) {
    taken += static_cast<char>(text[i]);
  }
  return "state=" + std::to_string(ChatState(object)) +
         " first=" + std::to_string(ChatFirstChar(object)) + " text0=" + std::to_string(text[0]) +
         " text=" + Escaped(taken);
}

DoneText WatchBlankCommand(std::string_view arguments) {
  std::uint64_t ms = 0;
  if (!TakeUnsigned(arguments, ms)) return Fail("usage: watchblank MS");
  return std::to_string(WatchBlank(Selected(), ms));
}

DoneText Fill(std::string_view arguments) {
  std::uint64_t count = 0;
  std::int64_t byte = 0;
  if (!TakeUnsigned(arguments, count) || !TakeSigned(arguments, 0, 0xFF, byte)) {
    return Fail("usage: fill N BYTE");
  }
  if (count >= kChatTextRoom - 1) return Fail("fill reaches past the chat object");
  unsigned char* object = Selected();
  WriteChatText(object, 1, std::string(count, static_cast<char>(byte)) + '\0');
  ChatText(object)[0] = '/';
  return "";
}

DoneText ChatObjectCommand(std::string_view arguments) {
  std::uint64_t value = 0;
  if (!TakeUnsigned(arguments, value)) return Fail("usage: chatobj VALUE");
  *ChatDisplayObject = value;
  return "";
}

// Calls the display routine the way the plugin does, to check the routine and "chatobj" without a
// console program.
DoneText Display(std::string_view arguments) {
  using ChatDisplayRoutine = void (*)(void*, const char*, float, std::int32_t, bool);
  const auto display = reinterpret_cast<ChatDisplayRoutine>(kChatDisplayRoutineAddress);
  const std::string text = DecodeEscapes(arguments);
  display(reinterpret_cast<void*>(static_cast<std::uintptr_t>(*ChatDisplayObject)), text.c_str(),
          -1.0f, -1, false);
  return "";
}

DoneText HoldChat(std::string_view) {
  HoldNextChatDisplay();
  return "";
}

DoneText ReleaseChat(std::string_view) {
  ReleaseChatDisplay();
  return "";
}

DoneText Clock(std::string_view) {
  return std::to_string(ClockTicks()) + ' ' + std::to_string(ClockTicksPerSecond());
}

DoneText LastChat(std::string_view) {
  return std::to_string(LastChatDisplayTicks());
}

// The host's memory as the system counts it, to weigh a plugin by.
DoneText Memory(std::string_view) {
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(),
                            reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof(counters))) {
    return Fail("GetProcessMemoryInfo failed with error " + std::to_string(GetLastError()));
  }
  return "private=" + std::to_string(counters.PrivateUsage) +
         " peakprivate=" + std::to_string(counters.PeakPagefileUsage) +
         " workingset=" + std::to_string(counters.WorkingSetSize) +
         " peakworkingset=" + std::to_string(counters.PeakWorkingSetSize);
}

DoneText MinLevel(std::string_view arguments) {
  std::int64_t level = 0;
  if (!TakeSigned(arguments, std::numeric_limits<std::int32_t>::min(),
                  std::numeric_limits<std::int32_t>::max(), level)) {
    return Fail("usage: minlevel N");
  }
  loader::MinLogLevel = static_cast<loader::LogLevel>(level);
  return "";
}

DoneText LevelAfter(std::string_view arguments) {
  std::int64_t pieces = 0;
  std::int64_t level = 0;
  if (!TakeSigned(arguments, 1, std::numeric_limits<std::int32_t>::max(), pieces) ||
      !TakeSigned(arguments, std::numeric_limits<std::int32_t>::min(),
                  std::numeric_limits<std::int32_t>::max(), level)) {
    return Fail("usage: levelafter PIECES N");
  }
  SimLevelAfterPieces(static_cast<std::int32_t>(pieces), static_cast<std::int32_t>(level));
  return "";
}

DoneText StateAfter(std::string_view arguments) {
  std::int64_t pieces = 0;
  std::int64_t state = 0;
  if (!TakeSigned(arguments, 1, std::numeric_limits<std::int32_t>::max(), pieces) ||
      !TakeSigned(arguments, 0, std::numeric_limits<std::int32_t>::max(), state)) {
    return Fail("usage: stateafter PIECES S");
  }
  SimStreamStateAfterPieces(static_cast<std::int32_t>(pieces), static_cast<std::int32_t>(state));
  return "";
}

// The plugin's log bridge on its own (log_probe.dll, next to this program), given pieces that
// chat lines cannot make. Each word is one piece; "" is an empty piece.
DoneText LogProbe(std::string_view arguments) {
  using ProbeLog = void (*)(std::int32_t, const char* const*, const std::size_t*, std::size_t);
  static ProbeLog probe = [] {
    HMODULE module = LoadLibraryW(L"log_probe.dll");
    FARPROC found = module != nullptr ? GetProcAddress(module, "ProbeLog") : nullptr;
    return reinterpret_cast<ProbeLog>(reinterpret_cast<void*>(found));
  }();
  if (probe == nullptr) return Fail("log_probe.dll is missing");
  std::int64_t level = 0;
  if (!TakeSigned(arguments, std::numeric_limits<std::int32_t>::min(),
                  std::numeric_limits<std::int32_t>::max(), level)) {
    return Fail("usage: logprobe LEVEL PIECE...");
  }
  std::vector<std::string> pieces;
  while (!arguments.empty()) {
    const std::string_view word = TakeWord(arguments);
    pieces.push_back(word == "\"\"" ? std::string() : DecodeEscapes(word));
  }
  std::vector<const char*> bytes;
  std::vector<std::size_t> lengths;
  for (const std::string& piece : pieces) {
    bytes.push_back(piece.data());
    lengths.push_back(piece.size());
  }
  probe(static_cast<std::int32_t>(level), bytes.data(), lengths.data(), pieces.size());
  return std::to_string(pieces.size());
}

// What the loader tells the plugin, so that a test can check its own settings.
DoneText Version(std::string_view) {
  if (loader::GameVersion == nullptr) return "null";
  return '"' + Escaped(loader::GameVersion) + '"';
}

DoneText CallLoad(std::string_view) {
  return CallPluginLoad();
}

DoneText Echo(std::string_view arguments) {
  Report("echo", Escaped(DecodeEscapes(arguments)));
  return "";
}

DoneText Quit(std::string_view) {
  // Reported here: nothing runs after ExitProcess. Every report is flushed already.
  Report("done", "quit");
  ExitProcess(0);
}

DoneText Help(std::string_view);

struct Command {
  const char* verb;
  Handler run;
  const char* usage;
};

constexpr Command kCommands[] = {
    {"ready", Ready, "ready               chat root = the selected chat object"},
    {"root", Root, "root VALUE          chat root = VALUE"},
    {"object", Object, "object N            select chat object N (made on first use)"},
    {"type", Type, "type TEXT           type TEXT in the chat and send it"},
    {"timedtype", TimedType, "timedtype MS TEXT   type, Enter MS later; gives the clock at Enter"},
    {"cancel", Cancel, "cancel TEXT         type TEXT in the chat, then Esc"},
    {"bind", Bind, "bind TEXT           send TEXT at once, as a chat bind does"},
    {"set", Set, "set typewait|hold MS  timing of typed lines"},
    {"poke", Poke, "poke state|first N, poke text TEXT, poke textat OFFSET TEXT"},
    {"peek", Peek, "peek                show the chat fields"},
    {"watchblank", WatchBlankCommand, "watchblank MS       rewrite blanked first text bytes"},
    {"fill", Fill, "fill N BYTE         a '/' line of N copies of BYTE"},
    {"chatobj", ChatObjectCommand, "chatobj VALUE       the chat display routine's object"},
    {"display", Display, "display TEXT        call the chat display routine as the plugin does"},
    {"holdchat", HoldChat, "holdchat            the next chat line waits inside the routine"},
    {"releasechat", ReleaseChat, "releasechat         lets a held chat line go on"},
    {"clock", Clock, "clock               the performance counter and its ticks per second"},
    {"lastchat", LastChat, "lastchat            the clock at the last chat display call (0: none)"},
    {"memory", Memory, "memory              the host's private bytes, working set and their peaks"},
    {"minlevel", MinLevel, "minlevel N          the loader's minimum log level"},
    {"levelafter", LevelAfter, "levelafter PIECES N minimum level N once PIECES more are logged"},
    {"stateafter", StateAfter,
     "stateafter PIECES S the line's stream state S once PIECES more are logged"},
    {"logprobe", LogProbe, "logprobe LEVEL P... one log line of pieces P through log_probe.dll"},
    {"version", Version, "version             the game version the loader reports"},
    {"callload", CallLoad, "callload            call the plugin's Load again"},
    {"echo", Echo, "echo TEXT"},
    {"quit", Quit, "quit"},
    {"help", Help, "help                this list (texts may hold \\xNN escapes)"},
};

DoneText Help(std::string_view) {
  for (const Command& command : kCommands) Report("help", command.usage);
  return "";
}

}  // namespace

void RunCommand(std::string_view line) {
  if (line.empty()) return;
  // At a keyboard, a chat command is typed as it would be in the game.
  if (line[0] == '/') {
    Type(line);
    Report("done", "type");
    return;
  }
  std::string_view arguments = line;
  const std::string_view verb = TakeWord(arguments);
  for (const Command& command : kCommands) {
    if (verb == command.verb) {
      const DoneText result = command.run(arguments);
      Report("done", std::string(verb) + (result.empty() ? "" : " " + result));
      return;
    }
  }
  Report("error", "unknown command " + Escaped(line));
  Report("done", Escaped(verb));
}
