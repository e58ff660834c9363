// The system's own words for an error code: one function on each system, so that every tool
// says a failed call's reason the same way.
#pragma once

#include <string>
#include <system_error>

// The code of the calling thread's last failed system call (errno, or GetLastError on Windows,
// which Winsock's errors share).
unsigned long LastOsError();

std::string OsErrorText(unsigned long code);

// The C runtime's words for an errno value, as a file stream leaves one. On POSIX systems the two
// are the same; on Windows errno numbers are not the system's codes, so only the runtime's own
// table names them.
std::string RuntimeErrorText(int code);

// A file system error in the system's words, whichever of the two a library call reported.
std::string FileErrorText(const std::error_code& error);
