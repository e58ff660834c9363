// Where things lie in the loader's log line object. The loader is built with the platform
// compiler, so its loader::LOG is a std::stringstream of that compiler's standard library,
// followed by the line's level. A plugin built with another compiler cannot use that type and
// finds its way through it with these numbers instead (x64 only).
//
// Sources: the public source of the platform compiler's standard library (<sstream>, <istream>,
// <ostream>, <ios>, <xiosbase>, <streambuf>), identical for VS 2015 to VS 2022 and for release
// and debug builds; cross-checked against the runtime's own constructors (msvcp140.dll, whose
// basic_ios and basic_iostream constructors the stand-in loader calls, so that every end-to-end
// test checks these numbers again) and against clang's record layout for that target.
#pragma once

#include <cstddef>
#include <cstdint>

namespace msvc_stream {

// basic_stringstream<char>: basic_iostream's two vbtable pointers and the istream's count, then
// the basic_stringbuf member, then the virtual base basic_ios at the end.
constexpr std::size_t kStringStreamSize = 248;
constexpr std::size_t kLogLineSize = kStringStreamSize + 8;  // the level, padded to 8
constexpr std::size_t kLogLineAlignment = 8;
constexpr std::size_t kLevelOffset = kStringStreamSize;

// The istream part's vbtable pointer leads the object; entry 1 of that table is the distance from
// it to basic_ios. The ostream part starts with its own vbtable pointer.
constexpr std::size_t kIstreamVbtableOffset = 0;
constexpr std::size_t kOstreamOffset = 16;
constexpr std::int32_t kIstreamToBasicIos = 152;
constexpr std::int32_t kOstreamToBasicIos = kIstreamToBasicIos - kOstreamOffset;
constexpr std::size_t kStringBufferOffset = 24;
// The stringstream's own vtordisp for its virtual base, just before that base.
constexpr std::size_t kVtordispOffset = 148;
constexpr std::size_t kBasicIosOffset = 152;

// Inside ios_base: vfptr, _Stdstr, then the stream state (goodbit 0, badbit 4).
constexpr std::size_t kStreamStateInIos = 16;
constexpr std::int32_t kGoodBit = 0;
constexpr std::int32_t kBadBit = 4;
// basic_ios::_Mystrbuf follows the 72 bytes of ios_base.
constexpr std::size_t kStreamBufferPointerInIos = 72;

// basic_streambuf's vtable: destructor, _Lock, _Unlock, overflow, pbackfail, showmanyc,
// underflow, uflow, xsgetn, xsputn, seekoff, seekpos, setbuf, sync, imbue.
constexpr std::size_t kOverflowSlot = 3;
constexpr std::size_t kXsputnSlot = 9;
constexpr std::size_t kStreamBufferVtableSlots = 15;
// basic_streambuf<char> itself: the vtable pointer, twelve pointers and counts, the locale.
constexpr std::size_t kStreamBufferBaseSize = 104;

static_assert(kStringBufferOffset + kStreamBufferBaseSize <= kVtordispOffset);
static_assert(kBasicIosOffset + kStreamBufferPointerInIos + 8 <= kStringStreamSize);

}  // namespace msvc_stream
