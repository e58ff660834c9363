// Byte-string helpers that the plugin and its tools share: texts from outside (help files, a
// player's line, a program's output) are cut and shown the same way everywhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline bool StartsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

inline bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A text file's encoding as its first bytes show it. The plugin and its tools read UTF-8 only;
// Windows editors may save a file as UTF-16 instead, which then deserves one plain line rather
// than a dump of its bytes.
enum class TextEncoding {
  kUtf8,                       // neither of those below (a UTF-8 byte-order mark included)
  kUtf16WithByteOrderMark,     // FF FE or FE FF, as Windows Notepad saves "Unicode"
  kUtf16WithoutByteOrderMark,  // as PowerShell and some editors save it (see the .cpp)
};

TextEncoding EncodingOf(std::string_view text);

inline bool IsUtf16(std::string_view text) {
  return EncodingOf(text) != TextEncoding::kUtf8;
}

// A UTF-8 byte-order mark, which a file may start with and which is no text.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

inline std::string_view WithoutUtf8ByteOrderMark(std::string_view text) {
  return StartsWith(text, kUtf8ByteOrderMark) ? text.substr(kUtf8ByteOrderMark.size()) : text;
}

// The longest start of text of at most limit bytes that does not end inside a UTF-8 sequence.
std::string_view CutAtUtf8Boundary(std::string_view text, std::size_t limit);

// The length of the UTF-8 sequence at the start of text, with its code point; 0 when the text
// starts with no whole, shortest, valid sequence.
std::size_t Utf8SequenceLength(std::string_view text, std::uint32_t* codePoint = nullptr);

// Which bytes EscapedBytes writes as \xNN.
enum class EscapeSet {
  kControls,             // C0 controls and DEL: the text stays on one line
  kControlsC1AndBidi,    // for a terminal: also C1 controls (U+0080 to U+009F), which
                         // terminals obey too; the bidirectional marks and controls (U+061C,
                         // U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), with which a
                         // terminal shows the text reordered; U+200B, U+2028 and U+2029, which
                         // hide text or break the line; and every byte of no UTF-8 sequence
  kControlsAndNonAscii,  // also every byte from 0x80 on, for names compared byte by byte
};

// The text with the bytes of the set written as \xNN, so that it prints on one line and cannot
// steer a terminal.
std::string EscapedBytes(std::string_view text, EscapeSet set = EscapeSet::kControls);
