#include "help/help_path.h"

#include <cstddef>
#include <string>

#include "common/name_fold.h"
#include "help/help_file.h"

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Windows trims trailing dots and spaces from a name, so ". ." and "..." can mean "..".
bool IsDotsAndSpaces(std::string_view segment) {
  std::size_t dots = 0;
  for (const char c : segment) {
    if (c == '.') {
      ++dots;
    } else if (c != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

// A port number of COM and LPT: a digit, or a superscript 1, 2 or 3, which Windows takes for the
// same ports. Help files are opened by their name in the system's code page, where a superscript
// digit is one byte (code page 1252), two (949) or also the UTF-8 form: so any byte of 0x80 or
// above after the COM or LPT counts as one. Refusing a few odd names is better than opening a
// port.
bool IsPortNumber(std::string_view text) {
  if (text.empty()) return false;
  const auto first = static_cast<unsigned char>(text[0]);
  if (first >= 0x80) return true;
  return text.size() == 1 && first >= '0' && first <= '9';
}

// Windows opens a device for such a name whatever follows its first dot ("COM1.Help.json"), and
// whatever its case.
bool IsDeviceName(std::string_view segment) {
  std::string_view base = segment.substr(0, segment.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (SameName(base, device)) return true;
  }
  if (base.size() < 4) return false;
  const std::string_view port = base.substr(0, 3);
  return (SameName(port, "COM") || SameName(port, "LPT")) && IsPortNumber(base.substr(3));
}

}  // namespace

Result<> CommandMayNameHelpFile(std::string_view command) {
  if (!command.empty() && IsSeparator(command[0])) {
    return Reason{kStartsAtTheRoot};
  }
  if (command.find(':') != std::string_view::npos) {
    return Reason{kNamesADriveOrStream};
  }
  // Every segment of the path below the help folder, the last one with its suffix.
  const std::string file = std::string(command) + std::string(kHelpFileSuffix);
  std::size_t start = 0;
  while (start <= file.size()) {
    std::size_t end = start;
    while (end < file.size() && !IsSeparator(file[end])) ++end;
    const std::string_view segment = std::string_view(file).substr(start, end - start);
    if (IsDotsAndSpaces(segment)) return Reason{kLeavesTheFolder};
    if (IsDeviceName(segment)) return Reason{kNamesADevice};
    start = end + 1;
  }
  return Done{};
}

Result<std::string> CommandOfHelpFile(std::string_view relativePath) {
  const std::size_t nameStart = relativePath.find_last_of('/') + 1;
  const std::string_view name = relativePath.substr(nameStart);
  if (!EndsWithName(name, kHelpFileSuffix)) return Reason{kNotAHelpFileName};
  return std::string(relativePath.substr(0, relativePath.size() - kHelpFileSuffix.size()));
}
