#include "common/os_error.h"

#include <cerrno>
#include <cstring>

unsigned long LastOsError() {
  return static_cast<unsigned long>(errno);
}

std::string OsErrorText(unsigned long code) {
  return std::strerror(static_cast<int>(code));
}
