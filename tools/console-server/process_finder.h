// Finds the processes of peers' sockets on a thread of its own, and posts each answer to the
// inbox as ProcessFound: the search reads every descriptor of the user's processes, which takes
// from milliseconds to tens of them, and the loop must never wait on it. One search at a time,
// for all that asked meanwhile, so that a flood of connections costs one search after another,
// never one each at once.
#pragma once

#include <vector>

#include "console_server.h"
#include "inbox.h"

// The thread starts at the first call, and posts to the inbox of that call for as long as the
// program runs.
void FindProcesses(const std::vector<ProcessToFind>& wanted, Inbox& inbox);
