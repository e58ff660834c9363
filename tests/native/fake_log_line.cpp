// The loader's log line object as MSVC lays it out, made by hand: only the fields that a plugin
// built by another compiler looks at are filled in.
#include <cstdint>
#include <cstring>
#include <string>

#include "fake_host.h"
#include "fake_line_layout.h"

namespace {

using namespace fake_line;

// basic_streambuf<char>'s size: a derived buffer's members follow it.
constexpr std::size_t kStreamBufferBaseSize = 104;

const std::int32_t IstreamVbtable[2] = {0, kIstreamToBasicIos};
const std::int32_t OstreamVbtable[2] = {0, kOstreamToBasicIos};

// The stream buffer keeps its text behind its base part, as a derived buffer keeps its members.
std::string*& BufferText(const unsigned char* line) {
  return *reinterpret_cast<std::string**>(const_cast<unsigned char*>(line) + kBufferVtableAt +
                                          kStreamBufferBaseSize);
}

std::int64_t KeepBytes(void* streamBuffer, const char* bytes, std::int64_t count) {
  const auto* line = static_cast<const unsigned char*>(streamBuffer) - kBufferVtableAt;
  BufferText(line)->append(bytes, static_cast<std::size_t>(count));
  return count;
}

void* const* FakeBufferVtable() {
  static void* vtable[kBufferVtableSlots] = {};
  vtable[kXsputnSlot] = reinterpret_cast<void*>(&KeepBytes);
  return vtable;
}

template <typename T>
void Put(unsigned char* line, std::size_t offset, T value) {
  std::memcpy(line + offset, &value, sizeof value);
}

}  // namespace

void BuildFakeLogLine(unsigned char* line, loader::LogLevel level) {
  Put(line, kIstreamVbtableAt, &IstreamVbtable[0]);
  Put(line, kOstreamVbtableAt, &OstreamVbtable[0]);
  Put(line, kBufferVtableAt, FakeBufferVtable());
  Put(line, kStateAt, kGoodState);
  Put(line, kBufferAt, static_cast<void*>(line + kBufferVtableAt));
  BufferText(line) = new std::string();
  Put(line, kLevelAt, level);
}

const std::string& FakeLogLineText(const unsigned char* line) {
  return *BufferText(line);
}

void DestroyFakeLogLine(unsigned char* line) {
  delete BufferText(line);
  BufferText(line) = nullptr;
}
