// Where things lie in the loader's log line object. The loader is built with MSVC, so its
// loader::LOG is a std::stringstream of MSVC's standard library, followed by the line's level. A
// plugin built with another compiler cannot use that type and finds its way through it with this
// mirror of the object instead (x64 only).
//
// Sources: the public source of MSVC's standard library (<sstream>, <istream>, <ostream>, <ios>,
// <xiosbase>, <streambuf>), identical for VS 2015 to VS 2022 and for release and debug builds;
// cross-checked against the runtime's own constructors (msvcp140.dll) and against clang's record
// layout for that target.
//
// The stand-in loader keeps a copy of its own (sim/loader/runtime_stream_layout.h), stated from
// what those constructors write where, and builds its line objects by it. It must not use this
// one: a wrong number here would then be wrong in the stand-in as well, and every end-to-end test
// would pass while the real loader's object is read at the wrong place. With two copies, the log
// bridge session fails on a wrong number in either.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/msvc_abi.h"

namespace msvc_stream {

// The line object, field by field where the plugin reads or writes, in bytes elsewhere. Never
// made or read as this type: the object is the loader's, so its fields are read bytewise at
// offsetof(LogLineObject, field).
struct LogLineObject {
  // basic_stringstream<char> derives from basic_iostream, whose istream part leads the object:
  // its vbtable pointer (entry 1 of the table is the distance from here to basic_ios, the virtual
  // base) and its character count.
  const std::int32_t* istreamVbtable;
  std::int64_t istreamCount;
  // The ostream part: its own vbtable pointer (entry 1: the distance from here to basic_ios).
  const std::int32_t* ostreamVbtable;
  // The basic_stringbuf member, led by basic_streambuf's vtable pointer (xsputn in kXsputnSlot).
  void* const* stringBufferVtable;
  // The rest of the stream buffer, then the stringstream's vtordisp for its virtual base.
  unsigned char stringBufferRest[120];
  // The virtual base basic_ios, at the end. It begins with ios_base: the vtable pointer, the
  // stream's _Stdstr, then the stream state (kGoodBit, or kBadBit among others).
  void* basicIosVtable;
  std::uint64_t iosStdstr;
  std::int32_t streamState;
  // The rest of ios_base's 72 bytes.
  unsigned char iosBaseRest[52];
  // basic_ios::_Mystrbuf: the stream buffer, which is the member at stringBufferVtable.
  void* streamBuffer;
  // basic_ios::_Tiestr and _Fillch, padded to 8.
  void* tiedStream;
  char fillCharacter;
  unsigned char iosPadding[7];
  // loader::LOG's own member after the stream: the line's level (padded to 8 at the end).
  std::int32_t level;
};

static_assert(offsetof(LogLineObject, istreamVbtable) == 0);
static_assert(offsetof(LogLineObject, ostreamVbtable) == 16);
static_assert(offsetof(LogLineObject, stringBufferVtable) == 24);
static_assert(offsetof(LogLineObject, basicIosVtable) == 152);
static_assert(offsetof(LogLineObject, streamState) == 152 + 16);
static_assert(offsetof(LogLineObject, streamBuffer) == 152 + 72);
static_assert(offsetof(LogLineObject, level) == 248);
static_assert(sizeof(LogLineObject) == 256);
static_assert(alignof(LogLineObject) == 8);

constexpr std::size_t kStringStreamSize = offsetof(LogLineObject, level);
constexpr std::size_t kLogLineSize = sizeof(LogLineObject);
constexpr std::size_t kLogLineAlignment = alignof(LogLineObject);

// Entry 1 of each vbtable.
constexpr auto kIstreamToBasicIos = static_cast<std::int32_t>(
    offsetof(LogLineObject, basicIosVtable) - offsetof(LogLineObject, istreamVbtable));
constexpr auto kOstreamToBasicIos = static_cast<std::int32_t>(
    offsetof(LogLineObject, basicIosVtable) - offsetof(LogLineObject, ostreamVbtable));

// Stream states.
constexpr std::int32_t kGoodBit = 0;
constexpr std::int32_t kBadBit = 4;

// basic_streambuf's vtable: destructor, _Lock, _Unlock, overflow, pbackfail, showmanyc,
// underflow, uflow, xsgetn, xsputn, seekoff, seekpos, setbuf, sync, imbue.
constexpr std::size_t kXsputnSlot = 9;

}  // namespace msvc_stream

#if MSVC_ABI && defined(_M_X64)
#include <sstream>

#include "host/loader.h"
// The numbers that a plugin built by another compiler relies on, checked against the real types
// when the plugin is built by the loader's own compiler. Here, not in host/loader.h: the stand-in
// loader includes that header and must not see the plugin's idea of the layout.
static_assert(sizeof(std::stringstream) == msvc_stream::kStringStreamSize);
static_assert(sizeof(loader::LOG) == msvc_stream::kLogLineSize);
static_assert(alignof(loader::LOG) == msvc_stream::kLogLineAlignment);
#endif  // MSVC_ABI && _M_X64
