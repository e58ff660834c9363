// Where the tests' hand-made log line object puts each field: the stand-in loader's numbers,
// found from the runtime itself, never the plugin's own (host/msvc_stream_layout.h). Built from
// the plugin's copy, the fake would hold exactly what the plugin expects, and a wrong number there
// would pass every test.
#pragma once

#include <cstddef>

#include "../../sim/loader/runtime_stream_layout.h"

namespace fake_line {

using runtime_stream::kBadState;
using runtime_stream::kGoodState;
using runtime_stream::kIstreamToBasicIos;
using runtime_stream::kLevelAt;
using runtime_stream::kOstreamToBasicIos;
using runtime_stream::kXsputnSlot;

constexpr std::size_t kIstreamVbtableAt = runtime_stream::kIstreamPartAt;
constexpr std::size_t kOstreamVbtableAt = runtime_stream::kOstreamPartAt;
constexpr std::size_t kBufferVtableAt = runtime_stream::kStringBufferAt;
constexpr std::size_t kStateAt = runtime_stream::kBasicIosAt + runtime_stream::kStateInBasicIos;
constexpr std::size_t kBufferAt = runtime_stream::kBasicIosAt + runtime_stream::kBufferInBasicIos;
constexpr std::size_t kSize = runtime_stream::kLineObjectSize;
constexpr std::size_t kAlignment = runtime_stream::kLineObjectAlignment;
constexpr std::size_t kBufferVtableSlots = runtime_stream::kStreamBufferVtableSlots;

}  // namespace fake_line
