// What the receivers need from the operating system, the same on Windows and POSIX.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Socket handle as an integer wide enough for both a POSIX descriptor and a Windows SOCKET.
using SocketHandle = std::intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

enum class ReceiveStatus { Datagram, Timeout, Error };

// Starts (and stops) the socket library; the Windows build asks for Windows Sockets 2.0.
bool startSockets(std::string& error);
void stopSockets();

// Holds the socket library for as long as it lives, so that a start and stop around one text
// only count up and down: on Windows the library is torn down whenever its count reaches zero.
class SocketLibraryGuard {
 public:
  SocketLibraryGuard() {
    std::string ignored;  // each later start reports its own failure
    held_ = startSockets(ignored);
  }
  ~SocketLibraryGuard() {
    if (held_) stopSockets();
  }
  SocketLibraryGuard(const SocketLibraryGuard&) = delete;
  SocketLibraryGuard& operator=(const SocketLibraryGuard&) = delete;

 private:
  bool held_ = false;
};

// Asks for a 1 ms system timer while it lives, so that short sleeps last what they say: Windows
// otherwise sleeps to the next tick, about 15.6 ms. Nothing elsewhere.
class TimerResolutionGuard {
 public:
  TimerResolutionGuard();
  ~TimerResolutionGuard();
  TimerResolutionGuard(const TimerResolutionGuard&) = delete;
  TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;

 private:
  bool held_ = false;
};

// Held for as long as it lives by one process of the whole system (Linux: a Unix socket bound to
// the name in the abstract namespace, which has no file; other POSIX systems: a lock on a file in
// a folder of the user's own under /tmp; Windows: a named object of the login session), and let go
// by the system when the process ends, however it ends. Taking it never blocks.
class SingleInstanceLock {
 public:
  explicit SingleInstanceLock(const std::string& name);
  ~SingleInstanceLock();
  SingleInstanceLock(const SingleInstanceLock&) = delete;
  SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

  bool held() const { return handle_ != kNotHeld; }
  // Another process holds it (on Windows: any object of the session holds the name).
  bool heldElsewhere() const { return heldElsewhere_; }
  // Why it could not be taken, when neither held here nor elsewhere.
  const std::string& error() const { return error_; }

 private:
  static constexpr std::intptr_t kNotHeld = -1;
  std::intptr_t handle_ = kNotHeld;
  bool heldElsewhere_ = false;
  std::string error_;
};

// Opens the null device on any standard stream that was closed when the program started, so that
// no file the program or a library opens later takes its number and receives its messages.
void ensureStandardStreams();

// An IPv4 datagram socket bound to `port` on every local address. When it cannot be had,
// `error` says why and `taken`, when given, whether another socket holds the port.
SocketHandle openBoundUdpSocket(std::uint16_t port, std::string& error, bool* taken = nullptr);
void closeSocket(SocketHandle socket);

// Asks the system to keep up to `wanted` bytes queued for a socket (it may keep fewer) and says
// how many it keeps before it drops what comes; 0 when it cannot be told.
std::size_t growReceiveBuffer(SocketHandle socket, std::size_t wanted);

// Waits at most `timeoutMs` for one datagram and copies up to `capacity` bytes of it into
// `buffer`, `received` saying how many (0 unless a datagram came); a longer datagram fills the
// buffer and still counts as a datagram.
ReceiveStatus receiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity,
                              int timeoutMs, std::size_t& received, std::string& error);

// Room for the datagrams one receiveDatagrams call takes: `count` slots of `capacity` bytes one
// after another at `data`, and the length of each datagram taken into `lengths`.
struct DatagramSlots {
  char* data;
  std::size_t capacity;
  std::size_t count;
  std::size_t* lengths;
};

// Waits at most `timeoutMs` (0: not at all) for a datagram, then takes without waiting those
// already queued behind it, oldest first, until none is left or the slots are full; `taken` says
// how many (0 unless a datagram came). Each is cut to a slot, as receiveDatagram cuts it. Under
// Wine an empty datagram right behind the first hides those behind it (platform_win32.cpp).
ReceiveStatus receiveDatagrams(SocketHandle socket, const DatagramSlots& slots, int timeoutMs,
                               std::size_t& taken, std::string& error);

void sleepMilliseconds(unsigned milliseconds);

// Seconds on a clock that never jumps, for time stamps and pacing.
double monotonicSeconds();

// A file opened for reading only if it is a readable regular file, so that a folder, a FIFO or
// a device named like one never blocks or floods the reader. Closed when it goes.
class InputFile {
 public:
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool good() const { return handle_ != kNoFile; }
  // Why the file cannot be read ("is a folder", "is not a regular file", the system's reason).
  const std::string& error() const { return error_; }
  // Up to `capacity` bytes into `buffer`; 0 at the end of the file or when a read fails.
  std::size_t read(char* buffer, std::size_t capacity);
  // A read failed before the end of the file; error() says why.
  bool readFailed() const { return readFailed_; }

 private:
  static constexpr std::intptr_t kNoFile = -1;
  std::intptr_t handle_ = kNoFile;
  std::string error_;
  bool readFailed_ = false;
};

// The profile (INI) lookup Windows does, at most `capacity - 1` characters of the value.
constexpr std::size_t kProfileValueCapacity = 256;
std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName);

// Ctrl+C, Ctrl+Break, closing the console, and the signals that mean a stop (SIGINT, SIGTERM,
// SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM) only set a flag that the main thread polls:
// controller calls never run from a handler.
void installStopHandler();
bool stopRequested();
// How many stop requests have come: a second one can cut short what the first began.
unsigned stopRequests();

// Waits for one character on standard input (a key and Enter at the console) or for a stop
// request, whichever comes first.
void waitForKeyOrStop();

// How many processes share this program's console: 1 when the window is the program's own (a
// double-click or a shortcut), more from a Command Prompt, 0 with no console of its own.
unsigned consoleProcessCount();

// For the bench tools: sending datagrams, finding hosts and knowing whether a person watches.

// An IPv4 address (network byte order, as four bytes) and a port.
struct UdpEndpoint {
  std::uint8_t address[4];
  std::uint16_t port;
};

// Looks up `host` (a name or a dotted address) as IPv4; false with `error` set when it cannot.
bool resolveIpv4(const std::string& host, std::uint16_t port, UdpEndpoint& endpoint,
                 std::string& error);

// An unbound IPv4 datagram socket for sending.
SocketHandle openUdpSocket(std::string& error);

bool sendDatagram(SocketHandle socket, const UdpEndpoint& to, const char* data, std::size_t size,
                  std::string& error);

// The local port a bound socket got, 0 when it cannot be told.
std::uint16_t boundPort(SocketHandle socket);

// Sleeps until monotonicSeconds() reaches `deadline`; returns at once when it has passed.
void sleepUntil(double deadline);

// True when standard error goes to a terminal rather than a file or pipe.
bool standardErrorIsTerminal();
bool standardOutputIsTerminal();

enum class StandardStream { Output, Error };
// Writes all of `text` straight to the stream's descriptor, past the C library's buffer and its
// lock, each "\n" as the system ends a line; false when the stream refuses it. A write can block
// for as long as the reader takes no output.
bool writeStandardStream(StandardStream stream, const std::string& text);

// The working folder, as the system writes it (C:\Brenik, /home/rig).
std::string currentFolder();

// Shared libraries, loaded from the running program's own folder.

// The file name this system gives the shared library `baseName`: AXCLCOM.dll, libAXCLCOM.so.
std::string sharedLibraryFileName(const std::string& baseName);

// This program's bitness, which a library it loads must share.
constexpr int kProgramBits = static_cast<int>(sizeof(void*) * CHAR_BIT);

// Any function of a loaded library; the caller casts it to the function's real type.
using LibraryFunction = void (*)();

// A shared library loaded from the folder of the program's own file, never from elsewhere, and
// kept loaded for the rest of the process: a controller library may keep threads of its own.
class ProgramFolderLibrary {
 public:
  enum class Problem {
    None,
    Missing,       // no such file in the folder
    NotALibrary,   // the file is not a shared library of this system
    OtherBitness,  // a library built for the other bitness (libraryBits())
    Unloadable,    // the system refused it (reason())
  };

  explicit ProgramFolderLibrary(const std::string& fileName);

  Problem problem() const { return problem_; }
  // The folder looked in, as the system writes it (C:\brenik, /opt/brenik).
  const std::string& folder() const { return folder_; }
  int libraryBits() const { return libraryBits_; }
  const std::string& reason() const { return reason_; }
  // nullptr when the library exports no function of that name.
  LibraryFunction function(const std::string& name) const;

 private:
  // Why a library the system refused was refused, from the bitness its header gives (0: none).
  static Problem refusal(int libraryBits) {
    if (libraryBits == 0) return Problem::NotALibrary;
    return libraryBits != kProgramBits ? Problem::OtherBitness : Problem::Unloadable;
  }

  void* handle_ = nullptr;
  Problem problem_ = Problem::None;
  std::string folder_;
  int libraryBits_ = 0;
  std::string reason_;
};

}  // namespace platform
