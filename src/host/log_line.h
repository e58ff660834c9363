// Writing text into the loader's log line object, laid out as MSVC's std::stringstream, from a
// plugin built by another compiler.
#pragma once

#include <string_view>

#include "host/loader.h"

// The line's level as the loader's constructor stored it.
loader::LogLevel LogLineLevel(const unsigned char* line);

// The line's stream buffer when the object is laid out as expected and its stream is good;
// nullptr otherwise, so that an unexpected loader gets nothing written instead of a crash.
void* LogLineStreamBuffer(const unsigned char* line);

// Writes the bytes through the line's stream buffer, or nothing when the layout is unexpected.
// A short write marks the stream bad, as the stream's own write would, so later pieces stop.
void WriteLogLineBytes(unsigned char* line, std::string_view bytes);

// Writes one piece of a line: only while the line's level is at least the loader's current
// minimum, which the loader may change between two pieces.
void WriteLogPiece(unsigned char* line, std::string_view piece);
