// The programs that "=>" rules run: each on a thread of its own, a few at once, with their
// output sent to the chat as it comes.
#pragma once

#include <chrono>

#include "connections/connection_policy.h"
#include "rules/script_rules.h"

// How long a program may run before it is ended (10 s unless --exec-timeout says otherwise).
void SetRunTimeout(std::chrono::seconds timeout);

// Starts the program that answers a line, its output going to the connection that sent the
// line, or tells that connection's chat that the server is busy.
void StartCommandRun(const ScriptAnswer& answer, ConnectionId to);
