// Whether a connection began as a web page or tool does, never as a game: an HTTP request line
// ("POST / HTTP/1.1" and a line end) or a TLS handshake record. Such a connection is closed
// before any of its bytes is taken for a command line, so that a web page cannot send commands
// to console-server through the browser.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

#include "plugin_numbers.h"

// A connection's start that may still be a request line past the longest command line the
// plugin sends is no game's.
constexpr std::size_t kLongestGameLine = kLongestCommandLine;
// A web client sends the rest of its request line at once; a game's command line that merely
// looks like its start ("SAY hello") waits no longer than this.
constexpr auto kLongestHold = std::chrono::milliseconds(500);

enum class WebStart { kYes, kNo, kMaybe };

// Whether the bytes begin a web request; kMaybe while more bytes can still make them one.
WebStart BeginsWebRequest(std::string_view bytes);
