// What only a maker of the loader's log line object needs beyond the plugin's view of it
// (host/msvc_stream_layout.h): the stand-in loader and the unit tests' hand-made line.
#pragma once

#include <cstddef>

#include "host/msvc_stream_layout.h"

namespace msvc_stream {

// The stringstream's own vtordisp for its virtual base: the last 4 bytes before basic_ios.
constexpr std::size_t kVtordispOffset = offsetof(LogLineObject, basicIosVtable) - 4;

// basic_streambuf's vtable slots (see kXsputnSlot) and its overflow slot.
constexpr std::size_t kStreamBufferVtableSlots = 15;
constexpr std::size_t kOverflowSlot = 3;

// basic_streambuf<char> itself: the vtable pointer, twelve pointers and counts, the locale.
constexpr std::size_t kStreamBufferBaseSize = 104;

static_assert(offsetof(LogLineObject, stringBufferVtable) + kStreamBufferBaseSize <=
              kVtordispOffset);

}  // namespace msvc_stream
