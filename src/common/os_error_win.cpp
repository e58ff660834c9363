#include "common/os_error.h"

#include <windows.h>

std::string RuntimeErrorText(int code) {
  return std::generic_category().message(code);
}

std::string FileErrorText(const std::error_code& error) {
  if (error.category() == std::system_category()) {
    return OsErrorText(static_cast<unsigned long>(error.value()));
  }
  return RuntimeErrorText(error.value());
}

unsigned long LastOsError() {
  return GetLastError();
}

std::string OsErrorText(unsigned long code) {
  wchar_t wide[256] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, code, 0, wide, 256, nullptr);
  // In UTF-8, as everything else the tools print.
  char text[1024] = {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), text,
                                       sizeof text, nullptr, nullptr);
  std::string message(text, size > 0 ? static_cast<std::size_t>(size) : 0);
  // The system ends its messages with a line break.
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}
