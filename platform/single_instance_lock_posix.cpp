// The one-copy lock on POSIX: a name in Linux's abstract namespace, elsewhere a locked file.
#include "platform/single_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "platform/system_reason.h"

namespace platform {

using Taken = Result<std::optional<SingleInstanceLock>>;

#if defined(__linux__)

// A Unix socket bound to the name in the abstract namespace: there is no file that anyone could
// make in its place, every user's copy sees it, and the kernel lets it go with the process.
Taken SingleInstanceLock::take(const std::string& name) {
  const std::string shown = "@" + name;  // as ss and /proc/net/unix show such a name
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // The first byte of the path stays 0: that is what puts the name in the abstract namespace.
  if (name.size() >= sizeof address.sun_path) {
    return Failure{shown + ": " + systemReason(ENAMETOOLONG)};
  }
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  // A stream socket that never listens: nobody can connect to it or queue anything on it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Failure{shown + ": " + systemReason(errno)};
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    return std::optional<SingleInstanceLock>(SingleInstanceLock(fd));
  }
  const int code = errno;
  ::close(fd);
  if (code == EADDRINUSE) return std::optional<SingleInstanceLock>();
  return Failure{shown + ": " + systemReason(code)};
}

// The kernel's list of Unix sockets names every bound abstract one as "@name" at the line's end.
Result<bool> SingleInstanceLock::heldElsewhere(const std::string& name) {
  constexpr const char* kSocketList = "/proc/net/unix";
  std::FILE* list = std::fopen(kSocketList, "re");
  if (list == nullptr) return Failure{std::string(kSocketList) + ": " + systemReason(errno)};
  const std::string ending = " @" + name;
  // A line is a few numbers and a path of at most 108 bytes; a longer one is not ours.
  char line[512];
  bool held = false;
  while (!held && std::fgets(line, sizeof line, list) != nullptr) {
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    held = text.size() >= ending.size() &&
           text.compare(text.size() - ending.size(), ending.size(), ending) == 0;
  }
  std::fclose(list);
  return held;
}

#else

// No abstract namespace here: a lock on a file in a folder under /tmp that is this user's own,
// where nobody else can make anything; opened so that nothing there can block, and no mode of
// anything ever changed. Copies run by other users do not see it.
Taken SingleInstanceLock::take(const std::string& name) {
  const std::string folder = "/tmp/BrenikReceivers-" + std::to_string(::geteuid());
  const std::string file = name + ".lock";
  constexpr mode_t kOwnerOnly = 0700;
  if (::mkdir(folder.c_str(), kOwnerOnly) != 0 && errno != EEXIST) {
    return Failure{folder + ": " + systemReason(errno)};
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (dir < 0) return Failure{folder + ": " + systemReason(errno)};
  struct stat info {};
  if (::fstat(dir, &info) != 0 || info.st_uid != ::geteuid() ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    ::close(dir);
    return Failure{folder + ": not a folder of this user's own; remove it"};
  }
  constexpr mode_t kOwnerReadsAndWrites = 0600;
  const int fd = ::openat(dir, file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          kOwnerReadsAndWrites);
  const int openCode = errno;
  ::close(dir);
  if (fd < 0) return Failure{folder + "/" + file + ": " + systemReason(openCode)};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Failure{folder + "/" + file + ": not a regular file; remove it"};
  }
  int result = -1;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) return std::optional<SingleInstanceLock>(SingleInstanceLock(fd));
  const int code = errno;
  ::close(fd);
  if (code == EWOULDBLOCK) return std::optional<SingleInstanceLock>();
  return Failure{folder + "/" + file + ": " + systemReason(code)};
}


// A shared lock taken and let go at once: a copy starting in that instant would be refused.
Result<bool> SingleInstanceLock::heldElsewhere(const std::string& name) {
  const std::string file = "/tmp/BrenikReceivers-" + std::to_string(::geteuid()) + "/" + name + ".lock";
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return false;
    return Failure{file + ": " + systemReason(errno)};
  }
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);
  return held;
}
#endif

SingleInstanceLock::~SingleInstanceLock() {
  if (handle_ != kNotHeld) ::close(static_cast<int>(handle_));
}

}  // namespace platform
