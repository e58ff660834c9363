// The loader's log line. Built with MSVC, it is the plain class. Built with mingw-w64, it is made
// in the caller's object as MSVC's std::stringstream would be, with the runtime's own
// constructors from msvcp140.dll at the places of this stand-in's own layout
// (runtime_stream_layout.h), so that a plugin sees what the real loader gives it.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/loader.h"
#include "runtime_stream_layout.h"
#include "sim_report.h"
#include "sim_report_internal.h"

namespace {

// Every line is reported with its level, even one below MinLogLevel and even an empty one: the
// tests check which pieces the plugin itself left out.
void ReportLogLine(loader::LogLevel level, const std::string& text) {
  try {
    std::string payload = std::to_string(static_cast<std::int32_t>(level));
    if (!text.empty()) {
      payload += ' ';
      AppendEscaped(payload, text);
    }
    SimReport("log", payload.c_str());
  } catch (...) {
    // A destructor must not throw; the line is lost.
  }
}

}  // namespace

#if MSVC_ABI

#if defined(_M_X64)
// Built by the loader's compiler, the stand-in's own numbers are checked against the real types.
static_assert(sizeof(std::stringstream) ==
              runtime_stream::kBasicIosAt + runtime_stream::kBasicIosSize);
static_assert(sizeof(loader::LOG) == runtime_stream::kLineObjectSize);
static_assert(alignof(loader::LOG) == runtime_stream::kLineObjectAlignment);
#endif  // _M_X64

namespace loader {

LOG::LOG(LogLevel level) : level(level) {}

LOG::~LOG() {
  ReportLogLine(level, s.str());
}

}  // namespace loader

// The plain stream gives no hook between pieces.
extern "C" void SimLevelAfterPieces(std::int32_t, std::int32_t) {
  SimReport("loader-error", "a level change between pieces needs the mingw-w64 build");
}

extern "C" void SimStreamStateAfterPieces(std::int32_t, std::int32_t) {
  SimReport("loader-error", "a state change between pieces needs the mingw-w64 build");
}

#else

namespace {

using namespace runtime_stream;

// The runtime's members, called as x64 member functions are: the object first.
using DefaultConstructor = void* (*)(void* self);
// A class with virtual bases takes a trailing "most derived" flag; 0 leaves the virtual base,
// already made here, alone.
using IostreamConstructor = void* (*)(void* self, void* streamBuffer, int mostDerived);
using Destructor = void (*)(void* self);
using Xsputn = std::int64_t (*)(void* self, const char* bytes, std::int64_t count);
using PutPointer = char* (*)(const void* self);
using SetPutArea = void (*)(void* self, char* first, char* last);
using PutBump = void (*)(void* self, int count);
using SetState = void (*)(void* self, int state, bool reraise);

struct Runtime {
  DefaultConstructor basicIos = nullptr;
  IostreamConstructor basicIostream = nullptr;
  DefaultConstructor streamBuffer = nullptr;
  Destructor streamBufferDestructor = nullptr;
  Destructor basicIosDestructor = nullptr;
  Xsputn runtimeXsputn = nullptr;
  PutPointer putBase = nullptr;
  PutPointer putNext = nullptr;
  PutPointer putEnd = nullptr;
  SetPutArea setPutArea = nullptr;
  PutBump putBump = nullptr;
  SetState setState = nullptr;
  // basic_streambuf's vtable with overflow replaced: a buffer that keeps every byte it is given.
  void* lineBufferVtable[kStreamBufferVtableSlots] = {};
};

const Runtime& LoadRuntime();

// The text is kept in the buffer's put area, as a stringbuf keeps it: the runtime's xsputn
// copies into it and calls overflow when it is full, which doubles it.
int KeepByte(void* streamBuffer, int character) {
  constexpr int kEndOfFile = -1;
  if (character == kEndOfFile) return 0;
  const Runtime& runtime = LoadRuntime();
  char* text = runtime.putBase(streamBuffer);
  const std::size_t used = static_cast<std::size_t>(runtime.putNext(streamBuffer) - text);
  const std::size_t room = static_cast<std::size_t>(runtime.putEnd(streamBuffer) - text);
  if (used == room) {
    const std::size_t grown = room == 0 ? 64 : 2 * room;
    char* larger = new char[grown];
    if (used != 0) std::memcpy(larger, text, used);
    delete[] text;
    text = larger;
    runtime.setPutArea(streamBuffer, text, text + grown);
    runtime.putBump(streamBuffer, static_cast<int>(used));
  }
  text[used] = static_cast<char>(character);
  runtime.putBump(streamBuffer, 1);
  return character;
}

// A test's request to change the minimum level, or the line's stream state, once so many more
// pieces have been written.
std::atomic<std::int32_t> PiecesBeforeLevelChange{-1};
std::atomic<std::int32_t> LevelAfterPieces{0};
std::atomic<std::int32_t> PiecesBeforeStateChange{-1};
std::atomic<std::int32_t> StateAfterPieces{0};

// The runtime's own xsputn does the work; a piece is one call, so a requested change lands
// between two pieces of a line.
std::int64_t PutPiece(void* streamBuffer, const char* bytes, std::int64_t count) {
  const Runtime& runtime = LoadRuntime();
  const std::int64_t written = runtime.runtimeXsputn(streamBuffer, bytes, count);
  if (PiecesBeforeLevelChange.load() > 0 && --PiecesBeforeLevelChange == 0) {
    loader::MinLogLevel = static_cast<loader::LogLevel>(LevelAfterPieces.load());
  }
  if (PiecesBeforeStateChange.load() > 0 && --PiecesBeforeStateChange == 0) {
    auto* line = static_cast<unsigned char*>(streamBuffer) - kStringBufferAt;
    runtime.setState(line + kBasicIosAt, StateAfterPieces.load(), false);
  }
  return written;
}

template <typename Function>
Function Export(HMODULE runtime, const char* name) {
  auto address = GetProcAddress(runtime, name);
  if (address == nullptr) {
    SimReport("loader-error", name);
    std::abort();
  }
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

const Runtime& LoadRuntime() {
  static const Runtime runtime = [] {
    Runtime loaded;
    HMODULE msvcp = LoadLibraryA("msvcp140.dll");
    if (msvcp == nullptr) {
      SimReport("loader-error", "msvcp140.dll");
      std::abort();
    }
    loaded.basicIos =
        Export<DefaultConstructor>(msvcp, "??0?$basic_ios@DU?$char_traits@D@std@@@std@@IEAA@XZ");
    loaded.basicIostream = Export<IostreamConstructor>(
        msvcp,
        "??0?$basic_iostream@DU?$char_traits@D@std@@@std@@QEAA@PEAV?$basic_streambuf@DU?$char_"
        "traits@D@std@@@1@@Z");
    loaded.streamBuffer = Export<DefaultConstructor>(
        msvcp, "??0?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEAA@XZ");
    loaded.streamBufferDestructor =
        Export<Destructor>(msvcp, "??1?$basic_streambuf@DU?$char_traits@D@std@@@std@@UEAA@XZ");
    loaded.basicIosDestructor =
        Export<Destructor>(msvcp, "??1?$basic_ios@DU?$char_traits@D@std@@@std@@UEAA@XZ");
    loaded.putBase = Export<PutPointer>(
        msvcp, "?pbase@?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEBAPEADXZ");
    loaded.putNext = Export<PutPointer>(
        msvcp, "?pptr@?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEBAPEADXZ");
    loaded.putEnd = Export<PutPointer>(
        msvcp, "?epptr@?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEBAPEADXZ");
    loaded.setPutArea = Export<SetPutArea>(
        msvcp, "?setp@?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEAAXPEAD0@Z");
    loaded.putBump =
        Export<PutBump>(msvcp, "?pbump@?$basic_streambuf@DU?$char_traits@D@std@@@std@@IEAAXH@Z");
    loaded.setState =
        Export<SetState>(msvcp, "?setstate@?$basic_ios@DU?$char_traits@D@std@@@std@@QEAAXH_N@Z");
    const void* const* base =
        Export<const void* const*>(msvcp, "??_7?$basic_streambuf@DU?$char_traits@D@std@@@std@@6B@");
    std::memcpy(loaded.lineBufferVtable, base, sizeof loaded.lineBufferVtable);
    loaded.lineBufferVtable[kOverflowSlot] = reinterpret_cast<void*>(&KeepByte);
    loaded.runtimeXsputn = reinterpret_cast<Xsputn>(base[kXsputnSlot]);
    loaded.lineBufferVtable[kXsputnSlot] = reinterpret_cast<void*>(&PutPiece);
    return loaded;
  }();
  return runtime;
}

// The vbtables of the loader's stringstream: entry 1 is the distance to basic_ios. They belong
// to the loader's binary, as the compiler emits them where the stringstream is instantiated.
const std::int32_t IstreamVbtable[2] = {0, kIstreamToBasicIos};
const std::int32_t OstreamVbtable[2] = {0, kOstreamToBasicIos};

template <typename T>
void Put(unsigned char* line, std::size_t offset, T value) {
  std::memcpy(line + offset, &value, sizeof value);
}

// LOADER_LOG_EXTRA_BYTES lets a test give the line object members after the level, as a newer
// loader may have: the constructor fills them and the destructor finds them unchanged.
// LOADER_LOG_OBJECT_BYTES gives the whole object's size instead, members after the level making
// up what the stream and the level leave.
constexpr unsigned char kExtraByte = 0xEE;

std::size_t EnvironmentNumber(const char* name) {
  char text[32] = {};
  const DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
  return length == 0 || length >= sizeof text ? 0 : std::strtoul(text, nullptr, 10);
}

std::size_t ExtraBytes() {
  static const std::size_t extra = [] {
    const std::size_t objectBytes = EnvironmentNumber("LOADER_LOG_OBJECT_BYTES");
    if (objectBytes > kLineObjectSize) return objectBytes - kLineObjectSize;
    return EnvironmentNumber("LOADER_LOG_EXTRA_BYTES");
  }();
  return extra;
}

}  // namespace

extern "C" void SimLevelAfterPieces(std::int32_t pieces, std::int32_t level) {
  LevelAfterPieces = level;
  PiecesBeforeLevelChange = pieces;
}

extern "C" void SimStreamStateAfterPieces(std::int32_t pieces, std::int32_t state) {
  StateAfterPieces = state;
  PiecesBeforeStateChange = pieces;
}

extern "C" void LoaderLogConstruct(void* object, loader::LogLevel level) {
  const Runtime& runtime = LoadRuntime();
  auto* line = static_cast<unsigned char*>(object);
  // The order of the stringstream's own constructor: vbtables, the virtual base, the iostream
  // with the address of the buffer member, then the buffer member itself.
  Put(line, kIstreamPartAt, &IstreamVbtable[0]);
  Put(line, kOstreamPartAt, &OstreamVbtable[0]);
  runtime.basicIos(line + kBasicIosAt);
  runtime.basicIostream(line + kIstreamPartAt, line + kStringBufferAt, 0);
  Put(line, kVtordispAt, std::int32_t{0});
  void* buffer = line + kStringBufferAt;
  runtime.streamBuffer(buffer);
  Put(line, kStringBufferAt, &runtime.lineBufferVtable[0]);
  Put(line, kLevelAt, level);
  std::memset(line + kLineObjectSize, kExtraByte, ExtraBytes());
}

extern "C" void LoaderLogDestruct(void* object) {
  const Runtime& runtime = LoadRuntime();
  auto* line = static_cast<unsigned char*>(object);
  void* buffer = line + kStringBufferAt;
  loader::LogLevel level;
  std::memcpy(&level, line + kLevelAt, sizeof level);
  for (std::size_t i = 0; i < ExtraBytes(); ++i) {
    if (line[kLineObjectSize + i] != kExtraByte) {
      SimReport("loader-error", "the plugin changed the line object's members after the level");
      break;
    }
  }
  char* text = runtime.putBase(buffer);
  ReportLogLine(level,
                text == nullptr ? std::string() : std::string(text, runtime.putNext(buffer)));
  delete[] text;
  runtime.streamBufferDestructor(buffer);
  // The istream and ostream parts hold nothing; basic_ios holds the locale.
  runtime.basicIosDestructor(line + kBasicIosAt);
}

#endif  // MSVC_ABI
