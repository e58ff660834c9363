#include "programs/program_files.h"

#include <cstdlib>

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
