// POSIX side of the platform layer: BSD sockets, a monotonic clock and our own profile reader.
#include "platform/platform.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/profile_reader.h"

namespace platform {
namespace {

std::atomic<unsigned> gStopRequests{0};
static_assert(std::atomic<unsigned>::is_always_lock_free,
              "the stop requests are counted from a signal handler");

extern "C" void onStopSignal(int) { ++gStopRequests; }

std::string errorText(int code) { return std::strerror(code); }

}  // namespace

bool startSockets(std::string&) { return true; }
void stopSockets() {}

TimerResolutionGuard::TimerResolutionGuard() = default;
TimerResolutionGuard::~TimerResolutionGuard() = default;

#if defined(__linux__)

// A Unix socket bound to the name in the abstract namespace: there is no file that anyone could
// make in its place, every user's copy sees it, and the kernel lets it go with the process.
SingleInstanceLock::SingleInstanceLock(const std::string& name) {
  const std::string shown = "@" + name;  // as ss and /proc/net/unix show such a name
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // The first byte of the path stays 0: that is what puts the name in the abstract namespace.
  if (name.size() >= sizeof address.sun_path) {
    error_ = shown + ": " + errorText(ENAMETOOLONG);
    return;
  }
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  // A stream socket that never listens: nobody can connect to it or queue anything on it.
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error_ = shown + ": " + errorText(errno);
    return;
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
    handle_ = fd;
    return;
  }
  heldElsewhere_ = errno == EADDRINUSE;
  if (!heldElsewhere_) error_ = shown + ": " + errorText(errno);
  ::close(fd);
}

#else

// No abstract namespace here: a lock on a file in a folder under /tmp that is this user's own,
// where nobody else can make anything; opened so that nothing there can block, and no mode of
// anything ever changed. Copies run by other users do not see it.
SingleInstanceLock::SingleInstanceLock(const std::string& name) {
  const std::string folder = "/tmp/BrenikReceivers-" + std::to_string(::geteuid());
  const std::string file = name + ".lock";
  constexpr mode_t kOwnerOnly = 0700;
  if (::mkdir(folder.c_str(), kOwnerOnly) != 0 && errno != EEXIST) {
    error_ = folder + ": " + errorText(errno);
    return;
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (dir < 0) {
    error_ = folder + ": " + errorText(errno);
    return;
  }
  struct stat info {};
  if (::fstat(dir, &info) != 0 || info.st_uid != ::geteuid() ||
      (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    error_ = folder + ": not a folder of this user's own; remove it";
    ::close(dir);
    return;
  }
  constexpr mode_t kOwnerReadsAndWrites = 0600;
  const int fd = ::openat(dir, file.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          kOwnerReadsAndWrites);
  ::close(dir);
  if (fd < 0) {
    error_ = folder + "/" + file + ": " + errorText(errno);
    return;
  }
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = folder + "/" + file + ": not a regular file; remove it";
    ::close(fd);
    return;
  }
  int result = -1;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    handle_ = fd;
    return;
  }
  heldElsewhere_ = errno == EWOULDBLOCK;
  if (!heldElsewhere_) error_ = folder + "/" + file + ": " + errorText(errno);
  ::close(fd);
}

#endif

SingleInstanceLock::~SingleInstanceLock() {
  if (held()) ::close(static_cast<int>(handle_));
}

void ensureStandardStreams() {
  for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    // open() takes the lowest free number: the one that is closed.
    if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) ::open("/dev/null", O_RDWR);
  }
}

SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error, bool* taken) {
  if (taken != nullptr) *taken = false;
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) {
    error = errorText(errno);
    return kInvalidSocket;
  }
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (taken != nullptr) *taken = errno == EADDRINUSE;
    error = errorText(errno);
    ::close(fd);
    return kInvalidSocket;
  }
  return fd;
}

void closeSocket(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(static_cast<int>(socket));
}

std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted) {
  const int fd = static_cast<int>(socket);
  int bytes = static_cast<int>(std::min<std::size_t>(wanted, INT_MAX));
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);  // capped by the system
  socklen_t length = sizeof bytes;
  if (::getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) return 0;
  return bytes > 0 ? static_cast<std::size_t>(bytes) : 0;
}

ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::size_t& received, std::string& error) {
  received = 0;
  pollfd waiting{static_cast<int>(socket), POLLIN, 0};
  const int ready = ::poll(&waiting, 1, timeoutMs);
  if (ready == 0 || (ready < 0 && errno == EINTR)) return ReceiveStatus::Timeout;
  if (ready < 0) {
    error = errorText(errno);
    return ReceiveStatus::Error;
  }
  // A datagram longer than the buffer is cut to it, which is what the caller wants.
  const ssize_t got = ::recv(static_cast<int>(socket), buffer, capacity, 0);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return ReceiveStatus::Timeout;
    error = errorText(errno);
    return ReceiveStatus::Error;
  }
  received = static_cast<std::size_t>(got);
  return ReceiveStatus::Datagram;
}

ReceiveStatus receiveDatagrams(SocketHandle socket, const DatagramSlots& slots, int timeoutMs,
                               std::size_t& taken, std::string& error) {
  taken = 0;
  const int fd = static_cast<int>(socket);
  // One call waits for the first datagram and takes those queued behind it: the socket's own
  // receive timeout bounds the wait, so no poll comes before it.
  int flags = MSG_DONTWAIT;
  if (timeoutMs > 0) {
    const timeval wait{static_cast<time_t>(timeoutMs / 1000),
                       static_cast<suseconds_t>(timeoutMs % 1000) * 1000};
    if (::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait) != 0) {
      error = errorText(errno);
      return ReceiveStatus::Error;
    }
    flags = MSG_WAITFORONE;
  }
  constexpr std::size_t kMostAtOnce = 16;
  const std::size_t count = std::min(slots.count, kMostAtOnce);
  iovec pieces[kMostAtOnce];
  mmsghdr messages[kMostAtOnce];
  for (std::size_t i = 0; i < count; ++i) {
    pieces[i] = iovec{slots.data + i * slots.capacity, slots.capacity};
    messages[i] = mmsghdr{};
    messages[i].msg_hdr.msg_iov = &pieces[i];
    messages[i].msg_hdr.msg_iovlen = 1;
  }
  const int got = ::recvmmsg(fd, messages, static_cast<unsigned>(count), flags, nullptr);
  if (got < 0) {
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return ReceiveStatus::Timeout;
    error = errorText(errno);
    return ReceiveStatus::Error;
  }
  // A datagram longer than its slot is cut to it (msg_len is what was copied).
  for (int i = 0; i < got; ++i) slots.lengths[i] = messages[i].msg_len;
  taken = static_cast<std::size_t>(got);
  return got > 0 ? ReceiveStatus::Datagram : ReceiveStatus::Timeout;
}

void sleepMilliseconds(unsigned milliseconds) {
  timespec left{static_cast<time_t>(milliseconds / 1000),
                static_cast<long>(milliseconds % 1000) * 1000000L};
  // Sleep the whole pause even when a signal arrives: the stop flag is checked by the caller.
  while (::clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
  }
}

double monotonicSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

InputFile::InputFile(const std::string& path) {
  // Non-blocking open: a FIFO with no writer would otherwise hold the caller for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = errorText(errno);
    return;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0) {
    error_ = errorText(errno);
  } else if (S_ISDIR(status.st_mode)) {
    error_ = "is a folder";
  } else if (!S_ISREG(status.st_mode)) {
    error_ = "is not a regular file";
  } else {
    handle_ = fd;
    return;
  }
  ::close(fd);
}

InputFile::~InputFile() {
  if (good()) ::close(static_cast<int>(handle_));
}

std::size_t InputFile::read(char* buffer, std::size_t capacity) {
  if (!good()) return 0;
  ssize_t got = -1;
  do {
    got = ::read(static_cast<int>(handle_), buffer, capacity);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    readFailed_ = true;
    error_ = errorText(errno);
    return 0;
  }
  return static_cast<std::size_t>(got);
}

std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName) {
  // Anything but a readable regular file reads as no file, as on Windows: the defaults apply.
  InputFile file(fileName);
  ProfileLookup lookup(section, key);
  constexpr std::size_t kChunkBytes = 64 * 1024;
  char chunk[kChunkBytes];
  for (std::size_t got = file.read(chunk, sizeof chunk); got > 0 && lookup.feed({chunk, got});
       got = file.read(chunk, sizeof chunk)) {
  }
  return lookup.result(fallback, kProfileValueCapacity);
}

void installStopHandler() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns at once and sees the flag
  // A closed terminal or a dropped remote login (SIGHUP) and SIGQUIT are stops like the others.
  // SIGUSR1, SIGUSR2 and SIGALRM would otherwise end the program with the controller open.
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
    ::sigaction(signalNumber, &action, nullptr);
  }
  // A message to a console or pipe that has gone away must not end the program unclosed.
  ::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() { return gStopRequests.load() > 0; }
unsigned stopRequests() { return gStopRequests.load(); }

void waitForKeyOrStop() {
  // Read only once input is there, so a stop that comes just before the read is not missed.
  constexpr int kKeyPollMs = 100;
  pollfd input{STDIN_FILENO, POLLIN, 0};
  while (!stopRequested()) {
    if (::poll(&input, 1, kKeyPollMs) > 0) {
      std::getchar();
      return;
    }
  }
}

// A terminal here always belongs to whoever started the program: it stays after the program ends.
unsigned consoleProcessCount() { return 0; }

bool resolveIpv4(const std::string& host, std::uint16_t port, UdpEndpoint& endpoint,
                 std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || found == nullptr) {
    error = result == EAI_SYSTEM ? errorText(errno) : ::gai_strerror(result);
    return false;
  }
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  std::memcpy(endpoint.address, &address->sin_addr.s_addr, sizeof endpoint.address);
  endpoint.port = port;
  ::freeaddrinfo(found);
  return true;
}

SocketHandle openUdpSocket(std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) error = errorText(errno);
  return fd < 0 ? kInvalidSocket : fd;
}

bool sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data, std::size_t size,
                  std::string& error) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(to.port);
  std::memcpy(&address.sin_addr.s_addr, to.address, sizeof to.address);
  ssize_t sent = -1;
  do {
    sent = ::sendto(static_cast<int>(socket), data, size, 0,
                    reinterpret_cast<const sockaddr*>(&address), sizeof address);
  } while (sent < 0 && errno == EINTR);
  if (sent < 0) {
    error = errorText(errno);
    return false;
  }
  return true;
}

std::uint16_t boundPort(SocketHandle socket) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  if (::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&address), &length) !=
      0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

void sleepUntil(double deadline) {
  double whole = 0.0;
  const double fraction = std::modf(deadline, &whole);
  timespec until{static_cast<time_t>(whole), static_cast<long>(fraction * 1e9)};
  // A signal ends the sleep early only when it asked to stop; the caller checks the flag.
  while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    if (stopRequested()) return;
  }
}

bool standardErrorIsTerminal() { return ::isatty(::fileno(stderr)) == 1; }
bool standardOutputIsTerminal() { return ::isatty(::fileno(stdout)) == 1; }

bool writeStandardStream(StandardStream stream, const std::string& text) {
  const int fd = stream == StandardStream::Output ? STDOUT_FILENO : STDERR_FILENO;
  for (std::size_t written = 0; written < text.size();) {
    const ssize_t result = ::write(fd, text.data() + written, text.size() - written);
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return false;
    written += static_cast<std::size_t>(result);
  }
  return true;
}

std::string currentFolder() {
  std::string folder(PATH_MAX, '\0');
  if (::getcwd(folder.data(), folder.size()) == nullptr) return "the working folder";
  folder.resize(std::strlen(folder.c_str()));
  return folder;
}

std::string sharedLibraryFileName(const std::string& baseName) { return "lib" + baseName + ".so"; }

namespace {

// The folder of the running program's file, from the link the kernel keeps to it.
bool programFolder(std::string& folder, std::string& error) {
  std::string path(PATH_MAX, '\0');
  const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    error = length < 0 ? errorText(errno) : "its path is too long";
    return false;
  }
  path.resize(static_cast<std::size_t>(length));
  folder = path.substr(0, path.rfind('/'));
  return true;
}

// The bitness an ELF file is built for (its class); 0 for a file that is not ELF.
int elfBits(const std::string& path) {
  constexpr std::size_t kClassAt = 4;
  char ident[kClassAt + 1] = {};
  InputFile file(path);
  if (file.read(ident, sizeof ident) != sizeof ident || std::memcmp(ident, "\x7f" "ELF", 4) != 0) {
    return 0;
  }
  return ident[kClassAt] == 1 ? 32 : ident[kClassAt] == 2 ? 64 : 0;
}

}  // namespace

ProgramFolderLibrary::ProgramFolderLibrary(const std::string& fileName) {
  std::string error;
  if (!programFolder(folder_, error)) {
    folder_ = "this program's folder";
    problem_ = Problem::Unloadable;
    reason_ = "that folder cannot be found (" + error + ")";
    return;
  }
  const std::string path = folder_ + "/" + fileName;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 && errno == ENOENT) {
    problem_ = Problem::Missing;
    return;
  }
  handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ != nullptr) return;
  reason_ = ::dlerror();
  libraryBits_ = elfBits(path);
  problem_ = refusal(libraryBits_);
}

LibraryFunction ProgramFolderLibrary::function(const std::string& name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<LibraryFunction>(::dlsym(handle_, name.c_str()));
}

}  // namespace platform
