#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/os_error.h"
#include "rules/help_file_io.h"

namespace {

// Closes the descriptor when the read or write is over, however it ends.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return descriptor_; }

 private:
  int descriptor_;
};

}  // namespace

Result<std::optional<std::string>> ReadRegularFile(const std::filesystem::path& path,
                                                   std::size_t largest) {
  // Non-blocking, so that opening a FIFO does not wait for a writer.
  const Descriptor file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.Get() < 0) {
    const int reason = errno;
    if (reason == ENOENT) return std::optional<std::string>();
    if (reason == ELOOP) return Reason{"it is a link"};
    return Reason{OsErrorText(static_cast<unsigned long>(reason))};
  }
  struct stat status = {};
  if (fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    return Reason{"it is no regular file"};
  }
  if (static_cast<std::size_t>(status.st_size) > largest) return Reason{"it is too large"};
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t count = read(file.Get(), text.data() + done, text.size() - done);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    done += static_cast<std::size_t>(count);
  }
  text.resize(done);
  return std::optional<std::string>(std::move(text));
}

Result<> WriteNewFile(const std::filesystem::path& path, std::string_view text) {
  const Descriptor file(
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (file.Get() < 0) return Reason{OsErrorText(LastOsError())};
  while (!text.empty()) {
    const ssize_t count = write(file.Get(), text.data(), text.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return Reason{OsErrorText(LastOsError())};
    text.remove_prefix(static_cast<std::size_t>(count));
  }
  return Done{};
}
