#include "common/os_error.h"

#include <cerrno>
#include <cstring>

unsigned long LastOsError() {
  return static_cast<unsigned long>(errno);
}

std::string OsErrorText(unsigned long code) {
  return std::strerror(static_cast<int>(code));
}

std::string RuntimeErrorText(int code) {
  return std::strerror(code);
}

std::string FileErrorText(const std::error_code& error) {
  // Both categories hold errno values here.
  return OsErrorText(static_cast<unsigned long>(error.value()));
}
