#include "help/help_file.h"

#include <algorithm>

std::string HelpFilePath(std::string_view command) {
  std::string path;
  path.reserve(kHelpDirectory.size() + command.size() + kHelpFileSuffix.size());
  path.append(kHelpDirectory).append(command).append(kHelpFileSuffix);
  return path;
}

std::optional<std::uint64_t> HelpFileSize(std::istream& in) {
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  // A folder has a size on some systems, but not one byte to read.
  if (!in || size < 0 || (size > 0 && in.peek() == std::istream::traits_type::eof())) {
    return std::nullopt;
  }
  in.clear();
  return static_cast<std::uint64_t>(size);
}

Result<std::string> ReadHelpText(std::istream& in, std::uint64_t size) {
  if (size > kMaxHelpFileBytes) {
    return Reason{std::to_string(size) + " bytes, more than the " +
                  std::to_string(kMaxHelpFileBytes) + " a help file may have"};
  }
  std::string text;
  // One byte past the bound tells a file that grew while it was read from one that fits.
  constexpr std::size_t kReadBound = kMaxHelpFileBytes + 1;
  constexpr std::size_t kChunk = 64 * 1024;
  text.reserve(static_cast<std::size_t>(size) + 1);
  std::streambuf* file = in.rdbuf();
  while (text.size() < kReadBound) {
    const std::size_t had = text.size();
    const std::size_t want = std::min(kChunk, kReadBound - had);
    text.resize(had + want);
    const auto got =
        static_cast<std::size_t>(file->sgetn(&text[had], static_cast<std::streamsize>(want)));
    text.resize(had + got);
    if (got < want) break;
  }
  if (text.size() > kMaxHelpFileBytes) {
    return Reason{"it grew past the " + std::to_string(kMaxHelpFileBytes) +
                  " bytes a help file may have while it was read"};
  }
  return text;
}
