// The link to the console program over time: found again whenever the console program listens,
// and given up, with a log line, when it goes. Only the worker uses it.
#pragma once

#include <chrono>

using LinkClock = std::chrono::steady_clock;

// Called at the start of a pass that has no link (with one it does nothing). Starts a connect
// every kConnectRetry and looks at the one under way, without waiting; logs a link that is made.
void KeepServerLink(LinkClock::time_point now);

// Closes a connection that a receive or send found gone, logs that once, and leaves the next
// attempt to KeepServerLink.
void LoseServerLink();
