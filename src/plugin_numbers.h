// The plugin's numbers that can be seen from outside it: where it connects, when it starts and
// how much a help request shows. The end-to-end tests and the benchmarks read them from this file
// (tests/e2e/harness.py), so each is one plain decimal integer (the durations in milliseconds),
// alone on its line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The console program's port on 127.0.0.1.
constexpr std::uint16_t kServerPort = 50382;

// The set-up before the first pass, 45 s in all and at most 47 s (RelayWorker): the game is given
// this long to start before the console program is looked for,
constexpr std::chrono::milliseconds kSetUpConnectDelay{5000};
// at most this long for a console program that listens to take the connection (one that hangs
// is linked later, by the retries),
constexpr std::chrono::milliseconds kFirstConnectWait{2000};
// then this long to load before its memory is first read,
constexpr std::chrono::milliseconds kSetUpGameWait{40000};
// and after that its readiness is tested this often.
constexpr std::chrono::milliseconds kReadinessRetry{1000};
// While there is no link to the console program (none at set-up, or one lost since), a connect
// is tried this often, so that a console program started or restarted later is found soon.
constexpr std::chrono::milliseconds kConnectRetry{2000};
// The longest command line the plugin sends: the chat's text buffer holds no more.
constexpr std::size_t kLongestCommandLine = 4099;
// The pause between two passes of the relay.
constexpr std::chrono::milliseconds kPassPause{10};

// A request shows at most this many lines. A chat shows about a dozen lines at a time and keeps
// a few screens of them; help that runs longer scrolls away unread, and a longer entry would only
// keep the worker from the chat (where a "/" line typed meanwhile would go out unblanked).
constexpr std::size_t kMaxHelpLines = 100;

// A longer help line is cut to this many bytes: the game's chat routine gets lines of at most
// some thousand bytes from the console program, and nothing says that it copes with megabytes.
constexpr std::size_t kMaxHelpLineBytes = 4096;

// Help files nest two or three levels; a file nested deeper than this is not read, so that its
// parse cannot take memory and time without end.
constexpr std::size_t kMaxHelpDepth = 64;

// A help file larger than this (4 MiB) is not read: four times the largest help file anyone is
// known to keep (1 MiB, 20,000 lines), while the game's memory and the worker's pause stay small.
constexpr std::uint64_t kMaxHelpFileBytes = 4194304;
