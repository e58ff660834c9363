#include <windows.h>

#include "common/os_error.h"
#include "rules/help_file_io.h"

namespace {

// Closes the handle when the read or write is over, however it ends.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

Result<std::optional<std::string>> ReadRegularFile(const std::filesystem::path& path,
                                                   std::size_t largest) {
  // The link itself is opened, not what it points to.
  const Handle file(CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) {
    const DWORD reason = GetLastError();
    if (reason == ERROR_FILE_NOT_FOUND) return std::optional<std::string>();
    return Reason{OsErrorText(reason)};
  }
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!GetFileInformationByHandle(file.Get(), &information)) {
    return Reason{OsErrorText(GetLastError())};
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Reason{"it is a link"};
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
      GetFileType(file.Get()) != FILE_TYPE_DISK) {
    return Reason{"it is no regular file"};
  }
  const ULONGLONG size =
      (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
  if (size > largest) return Reason{"it is too large"};
  std::string text(static_cast<std::size_t>(size), '\0');
  DWORD count = 0;
  if (!text.empty() &&
      !ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr)) {
    return Reason{OsErrorText(GetLastError())};
  }
  text.resize(count);
  return std::optional<std::string>(std::move(text));
}

Result<> WriteNewFile(const std::filesystem::path& path, std::string_view text) {
  const Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.Get() == INVALID_HANDLE_VALUE) return Reason{OsErrorText(GetLastError())};
  DWORD count = 0;
  if (!WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &count, nullptr) ||
      count != text.size()) {
    return Reason{OsErrorText(GetLastError())};
  }
  return Done{};
}
