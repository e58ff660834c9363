#include "host/log_line.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "host/msvc_stream_layout.h"

namespace {

using namespace msvc_stream;

// The stream buffer's virtual xsputn: this, bytes, count; returns how many bytes it took. A
// plain function pointer calls it soundly on x64, where a member function has no convention of
// its own: `this` goes in the first integer register (rcx), as the first argument of a plain
// function would, and the other arguments and the result follow the same rules.
using Xsputn = std::int64_t (*)(void* streamBuffer, const char* bytes, std::int64_t count);

// The object is the loader's: read its fields bytewise, whatever their alignment and type.
template <typename T>
T Field(const unsigned char* line, std::size_t offset) {
  T value;
  std::memcpy(&value, line + offset, sizeof value);
  return value;
}

bool HasVbtableEntry(const unsigned char* line, std::size_t offset, std::int32_t toBasicIos) {
  const auto* vbtable = Field<const std::int32_t*>(line, offset);
  return vbtable != nullptr && vbtable[1] == toBasicIos;
}

}  // namespace

loader::LogLevel LogLineLevel(const unsigned char* line) {
  return Field<loader::LogLevel>(line, offsetof(LogLineObject, level));
}

void* LogLineStreamBuffer(const unsigned char* line) {
  // Checked first, as it reads only the object itself: a buffer pointer that points back into
  // the object at the right place is what makes the pointers below safe to follow.
  void* streamBuffer = Field<void*>(line, offsetof(LogLineObject, streamBuffer));
  if (streamBuffer != line + offsetof(LogLineObject, stringBufferVtable)) return nullptr;
  if (Field<std::int32_t>(line, offsetof(LogLineObject, streamState)) != kGoodBit) return nullptr;
  if (!HasVbtableEntry(line, offsetof(LogLineObject, istreamVbtable), kIstreamToBasicIos))
    return nullptr;
  if (!HasVbtableEntry(line, offsetof(LogLineObject, ostreamVbtable), kOstreamToBasicIos))
    return nullptr;
  const auto* vtable = Field<void* const*>(line, offsetof(LogLineObject, stringBufferVtable));
  if (vtable == nullptr || vtable[kXsputnSlot] == nullptr) return nullptr;
  return streamBuffer;
}

void WriteLogLineBytes(unsigned char* line, std::string_view bytes) {
  void* streamBuffer = LogLineStreamBuffer(line);
  if (streamBuffer == nullptr || bytes.empty()) return;
  const auto* vtable = Field<void* const*>(line, offsetof(LogLineObject, stringBufferVtable));
  const auto xsputn = reinterpret_cast<Xsputn>(vtable[kXsputnSlot]);
  const auto count = static_cast<std::int64_t>(bytes.size());
  if (xsputn(streamBuffer, bytes.data(), count) != count) {
    const std::int32_t bad = kBadBit;
    std::memcpy(line + offsetof(LogLineObject, streamState), &bad, sizeof bad);
  }
}

void WriteLogPiece(unsigned char* line, std::string_view piece) {
  if (LogLineLevel(line) >= loader::MinLogLevel) WriteLogLineBytes(line, piece);
}
