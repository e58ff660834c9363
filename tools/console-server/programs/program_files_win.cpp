#include "programs/program_files.h"

#include <cstdlib>
#include <vector>

#include <windows.h>

#include "programs/text.h"

std::string PathVariable() {
  const wchar_t* path = _wgetenv(L"PATH");
  return path != nullptr ? std::filesystem::path(path).u8string() : "";
}

std::filesystem::path ProgramFileFor(const std::string& name) {
  std::filesystem::path file = std::filesystem::u8path(name);
  if (!file.has_extension()) file += ".exe";
  return file;
}

// Windows starts only these itself; anything else needs its interpreter.
Result<> CanRun(const std::filesystem::path& file) {
  const std::string extension = Lowercase(file.extension().u8string());
  if (extension == ".exe" || extension == ".com") return Done{};
  return Reason{
      "Windows starts only .exe and .com files; run its interpreter with it as an argument "
      "(such as py.exe " +
      file.filename().u8string() + ")"};
}

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& file) {
  // Reading attributes only, which a file in use allows; a folder opens only with backup
  // semantics.
  const HANDLE handle = CreateFileW(file.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION information{};
  const BOOL read = GetFileInformationByHandle(handle, &information);
  CloseHandle(handle);
  if (!read) return std::nullopt;
  return FileIdentity{
      information.dwVolumeSerialNumber,
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow,
      information.nNumberOfLinks};
}

std::filesystem::path LongPathOf(const std::filesystem::path& file) {
  const DWORD size = GetLongPathNameW(file.c_str(), nullptr, 0);
  if (size == 0) return file;
  std::vector<wchar_t> name(size);
  const DWORD written = GetLongPathNameW(file.c_str(), name.data(), size);
  if (written == 0 || written >= size) return file;
  return std::filesystem::path(name.data());
}
