#include "host/log_line.h"

#include <cstdint>
#include <cstring>

#include "host/msvc_stream_layout.h"

namespace {

using namespace msvc_stream;

// The stream buffer's virtual xsputn: this, bytes, count; returns how many bytes it took.
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
  return Field<loader::LogLevel>(line, kLevelOffset);
}

void* LogLineStreamBuffer(const unsigned char* line) {
  // Checked first, as it reads only the object itself: a buffer pointer that points back into
  // the object at the right place is what makes the pointers below safe to follow.
  void* streamBuffer = Field<void*>(line, kBasicIosOffset + kStreamBufferPointerInIos);
  if (streamBuffer != line + kStringBufferOffset) return nullptr;
  if (Field<std::int32_t>(line, kBasicIosOffset + kStreamStateInIos) != kGoodBit) return nullptr;
  if (!HasVbtableEntry(line, kIstreamVbtableOffset, kIstreamToBasicIos)) return nullptr;
  if (!HasVbtableEntry(line, kOstreamOffset, kOstreamToBasicIos)) return nullptr;
  const auto* vtable = Field<void* const*>(line, kStringBufferOffset);
  if (vtable == nullptr || vtable[kXsputnSlot] == nullptr) return nullptr;
  return streamBuffer;
}

void WriteLogLineBytes(unsigned char* line, std::string_view bytes) {
  void* streamBuffer = LogLineStreamBuffer(line);
  if (streamBuffer == nullptr || bytes.empty()) return;
  const auto* vtable = Field<void* const*>(line, kStringBufferOffset);
  const auto xsputn = reinterpret_cast<Xsputn>(vtable[kXsputnSlot]);
  const auto count = static_cast<std::int64_t>(bytes.size());
  if (xsputn(streamBuffer, bytes.data(), count) != count) {
    const std::int32_t bad = kBadBit;
    std::memcpy(line + kBasicIosOffset + kStreamStateInIos, &bad, sizeof bad);
  }
}

void WriteLogPiece(unsigned char* line, std::string_view piece) {
  if (LogLineLevel(line) >= loader::MinLogLevel) WriteLogLineBytes(line, piece);
}
