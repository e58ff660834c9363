// Where this stand-in puts the runtime's pieces of the loader's log line object, a
// std::stringstream of MSVC's standard library followed by the line's level (x64).
//
// The plugin has its own copy of these numbers (src/host/msvc_stream_layout.h). This one is
// stated apart from it on purpose, from what the runtime itself does: were the stand-in built
// from the plugin's copy, a wrong number there would be wrong here too, and the plugin would
// find exactly what it expects in every test while the real loader gives it something else.
// With two copies, a wrong number in either makes the plugin read or write the wrong place, and
// the log bridge session fails.
//
// Found by calling msvcp140.dll's constructors on an object filled with 0xCC bytes:
// - basic_streambuf<char>'s constructor writes 104 bytes: its vtable pointer, then twelve
//   pointers and counts of the get and put areas, then the locale pointer.
// - basic_iostream<char>'s constructor, given the vbtables and 0 for "most derived", writes the
//   istream part's count at +8 of the object, takes the ostream part's vbtable at +16, and
//   through the vbtables fills basic_ios: ios_base's 72 bytes (vtable pointer, _Stdstr, the
//   state at +16, ...), then the stream buffer pointer at +72, the tied stream at +80 and the fill
//   character at +88: 96 bytes.
// The loader's compiler puts basic_iostream (those 24 bytes) first, then basic_stringstream's
// basic_stringbuf member (the runtime's basic_streambuf and 16 bytes of its own), then the
// vtordisp of the virtual base in the 4 bytes before it, then the virtual base basic_ios.
#pragma once

#include <cstddef>
#include <cstdint>

namespace runtime_stream {

// basic_iostream's istream part: its vbtable pointer and character count.
constexpr std::size_t kIstreamPartAt = 0;
// basic_iostream's ostream part: its vbtable pointer, right after the istream part.
constexpr std::size_t kOstreamPartAt = 16;
// basic_stringstream's basic_stringbuf member, led by basic_streambuf.
constexpr std::size_t kStringBufferAt = 24;
// The virtual base basic_ios, after the member's 120 bytes and the vtordisp.
constexpr std::size_t kBasicIosAt = 152;
// The line's level, loader::LOG's own member after the stream.
constexpr std::size_t kLevelAt = 248;

constexpr std::size_t kVtordispAt = kBasicIosAt - 4;
constexpr std::size_t kBasicIosSize = 96;
// In basic_ios: the stream state, and the stream buffer pointer.
constexpr std::size_t kStateInBasicIos = 16;
constexpr std::size_t kBufferInBasicIos = 72;
// Stream states.
constexpr std::int32_t kGoodState = 0;
constexpr std::int32_t kBadState = 4;
constexpr std::size_t kLineObjectAlignment = 8;
// The level, padded to the object's alignment.
constexpr std::size_t kLineObjectSize =
    (kLevelAt + sizeof(std::int32_t) + kLineObjectAlignment - 1) / kLineObjectAlignment *
    kLineObjectAlignment;

static_assert(kBasicIosAt + kBasicIosSize <= kLevelAt);
static_assert(kBasicIosAt % kLineObjectAlignment == 0);

// Entry 1 of each vbtable: the distance from the part to basic_ios.
constexpr auto kIstreamToBasicIos = static_cast<std::int32_t>(kBasicIosAt - kIstreamPartAt);
constexpr auto kOstreamToBasicIos = static_cast<std::int32_t>(kBasicIosAt - kOstreamPartAt);

// basic_streambuf's vtable in the runtime: destructor, _Lock, _Unlock, overflow, pbackfail,
// showmanyc, underflow, uflow, xsgetn, xsputn, seekoff, seekpos, setbuf, sync, imbue.
constexpr std::size_t kStreamBufferVtableSlots = 15;
constexpr std::size_t kOverflowSlot = 3;
constexpr std::size_t kXsputnSlot = 9;

}  // namespace runtime_stream
