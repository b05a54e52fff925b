// Files on POSIX: a non-blocking open checked with fstat, appends with O_APPEND, and no profile
// lookup of the system's.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/system_reason.h"

namespace platform {

Result<InputFile> InputFile::open(const std::string& path) {
  // Non-blocking open: a FIFO with no writer would otherwise hold the caller for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return systemFailure(errno);
  struct stat status {};
  Failure failure;
  if (::fstat(fd, &status) != 0) {
    failure = systemFailure(errno);
  } else if (S_ISDIR(status.st_mode)) {
    failure = Failure{"is a folder"};
  } else if (!S_ISREG(status.st_mode)) {
    failure = Failure{"is not a regular file"};
  } else {
    return InputFile(fd);
  }
  ::close(fd);
  return failure;
}

InputFile::~InputFile() {
  if (handle_ != kNoFile) ::close(static_cast<int>(handle_));
}

Result<std::size_t> InputFile::read(char* buffer, std::size_t capacity) {
  ssize_t got = -1;
  do {
    got = ::read(static_cast<int>(handle_), buffer, capacity);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return systemFailure(errno);
  return static_cast<std::size_t>(got);
}

Result<AppendFile> AppendFile::open(const std::string& path) {
  // Non-blocking open: a FIFO nobody reads would otherwise hold the caller for ever. Its writes
  // then block again, as a file's do.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return systemFailure(errno);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    return systemFailure(error);
  }
  return AppendFile(fd);
}

AppendFile::~AppendFile() {
  if (handle_ != kNoFile) ::close(static_cast<int>(handle_));
}

std::optional<Failure> AppendFile::append(const std::string& text) {
  // One write places all of it at the end; only a write cut short (a disk filling up) takes more.
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t wrote =
        ::write(static_cast<int>(handle_), text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return systemFailure(wrote < 0 ? errno : EIO);
    done += static_cast<std::size_t>(wrote);
  }
  return std::nullopt;
}

const char* textLineEnd() { return "\n"; }

bool isPathSeparator(char c) { return c == '/'; }

char pathSeparator() { return '/'; }

bool isFolder(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

Result<std::string> currentFolder() {
  std::error_code failed;
  const std::filesystem::path folder = std::filesystem::current_path(failed);
  if (failed) return Failure{failed.message()};
  return folder.string();
}

std::optional<std::string> systemProfileString(const char*, const char*, const char*,
                                               const char*) {
  return std::nullopt;
}

std::string inFolder(const std::string& folder, const std::string& name) {
  return folder + "/" + name;
}

}  // namespace platform
