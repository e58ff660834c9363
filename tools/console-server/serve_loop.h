// The loop that serves console-server's connections for ever: it waits on the sockets, reads,
// accepts and sends without blocking, hands each event to the owner and applies its decisions.
// It sleeps until something is due: a socket ready, a post to the inbox, the owner's NextDue, or
// the next look at the rule file.
#pragma once

#include "connections/platform.h"
#include "connections/socket_wait.h"
#include "console_server.h"
#include "inbox.h"
#include "output/output.h"
#include "rules/rule_file.h"

// Reads the lines typed on stdin, on a thread of its own, into the inbox.
void StartReadingTypedLines(Inbox& inbox);

// Serves for ever; the rule file, if any, is looked at for changes.
[[noreturn]] void Serve(ConsoleServer& server, Socket listener, SocketWait& wait,
                        std::optional<RuleFile>& ruleFile, Inbox& inbox, Output& output);

// Applies decisions: closes, prints, writes the help and starts programs, whose events go to the
// inbox.
void Apply(const Decisions& decisions, Inbox& inbox, Output& output);
