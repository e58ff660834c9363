// The system's own words for an error code: one function on each system, so that every tool
// says a failed call's reason the same way.
#pragma once

#include <string>

// The code of the calling thread's last failed system call (errno, or GetLastError on Windows,
// which Winsock's errors share).
unsigned long LastOsError();

std::string OsErrorText(unsigned long code);
