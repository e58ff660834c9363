// The report channel of the stand-in loader. Every line the simulated game prints goes through
// here, so that the plugin's log lines and the game's own lines share one clock and one lock.
//
// A line is "<ms> <kind> <payload>\n" (just "<ms> <kind>\n" for an empty payload), where ms
// counts whole milliseconds since loader.dll was loaded.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(LOADER_BUILD)
#define SIM_REPORT_API __declspec(dllexport)
#else
#define SIM_REPORT_API __declspec(dllimport)
#endif  // LOADER_BUILD

extern "C" {

// Writes one line to stdout, whole, even when several threads report at once.
SIM_REPORT_API void SimReport(const char* kind, const char* payload);

// Escapes bytes for a report line: bytes below 0x20, from 0x7F up, and the backslash become
// "\xNN" (lowercase hex); all others stay. `out` must have room for 4 * length bytes. Returns
// the number of bytes written.
SIM_REPORT_API std::size_t SimEscape(const char* bytes, std::size_t length, char* out);

// Whole milliseconds since loader.dll was loaded, the clock of the report lines.
SIM_REPORT_API unsigned long long SimMilliseconds();

// Once `pieces` more pieces have been written into log lines, the loader's minimum log level
// becomes `level`: a loader that changes its level while a line is being written.
SIM_REPORT_API void SimLevelAfterPieces(std::int32_t pieces, std::int32_t level);

// Once `pieces` more pieces have been written into a log line, the runtime sets `state` in that
// line's stream (basic_ios::setstate): a stream that goes bad while a line is being written.
SIM_REPORT_API void SimStreamStateAfterPieces(std::int32_t pieces, std::int32_t state);

}  // extern "C"
