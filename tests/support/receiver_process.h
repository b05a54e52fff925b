// Runs a built receiver program the way a person would: in a working folder of its own, with
// the stand-in controller's environment, fed real datagrams on loopback, stopped by a signal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

using namespace std::chrono_literals;

// One line of the stand-in's trace: "<seconds> <operation> <arguments...>[ -> <result>]".
struct TraceLine {
  double time = 0;
  std::string operation;
  std::vector<std::string> arguments;
  std::optional<int> result;
};

std::vector<TraceLine> readTrace(const std::string& path);

// The trace without time stamps, one "operation arguments[ -> result]" string a call, which is
// what most expectations compare.
std::vector<std::string> traceCalls(const std::string& path);

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // False when the file could not be written whole.
  bool write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

enum class Side { Left, Right };

// Where the receivers under test are: BRENIK_PROGRAM_DIR (default: the native build's bin
// folder), BRENIK_PROGRAM_SUFFIX (".exe" for the Windows build) and BRENIK_LAUNCHER (e.g. "wine").
std::vector<std::string> receiverCommand(Side side);
std::uint16_t receiverPort(Side side);

// True when the program under test is started through a launcher such as Wine.
bool launchedThroughEmulator();

// The build under test: its controller library's file name, its bitness (BRENIK_PROGRAM_BITS),
// whether it calls the controller __stdcall (BRENIK_CONTROLLER_STDCALL=1) and the folder of the
// controller libraries made for its tests (BRENIK_TEST_LIBRARY_DIR); by default the native build.
struct ProgramBuild {
  std::string libraryFile;
  int bits;
  bool stdcall;
  std::string testLibraries;
};
ProgramBuild programBuild();

class ReceiverProcess {
 public:
  struct Options {
    std::vector<std::string> command;
    std::string workDir;
    std::vector<std::pair<std::string, std::string>> environment;
    bool keepStdinOpen = false;  // a pipe the test can write to; otherwise /dev/null
  };

  explicit ReceiverProcess(Options options);
  ~ReceiverProcess();  // kills the program if it still runs
  ReceiverProcess(const ReceiverProcess&) = delete;
  ReceiverProcess& operator=(const ReceiverProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool running();
  void signal(int signalNumber);
  void writeStdin(const std::string& text);
  // The exit code once the program has ended, or nothing if it still runs after `timeout`.
  std::optional<int> waitExit(std::chrono::milliseconds timeout);
  // What the program wrote on standard error and standard output so far.
  std::string standardError();
  std::string standardOutput();

 private:
  pid_t pid_ = -1;
  int stdinFd_ = -1;
  std::string stderrPath_;
  std::string stdoutPath_;
  std::optional<int> exitCode_;
};

// Sends datagrams to a receiver the way its design needs: each one only once a socket of the
// receiver is bound to the port and not yet holding an unread datagram, since datagrams that
// arrive between two binds are lost.
class DatagramSender {
 public:
  explicit DatagramSender(std::uint16_t port);
  ~DatagramSender();
  DatagramSender(const DatagramSender&) = delete;
  DatagramSender& operator=(const DatagramSender&) = delete;

  // False when no receiving socket showed up within `timeout`.
  bool send(const std::string& payload, std::chrono::milliseconds timeout = 10s);
  // Sends at once, bound or not.
  void sendNow(const std::string& payload);

 private:
  std::uint16_t port_;
  int fd_ = -1;
  unsigned long lastInode_ = 0;
};

// A UDP socket on 127.0.0.1:port as the kernel lists it (inode and unread bytes), if bound.
struct BoundSocket {
  unsigned long inode;
  unsigned long unreadBytes;
};
std::optional<BoundSocket> findBoundUdpSocket(std::uint16_t port);

// A field of /proc/<pid>/status in kB ("VmRSS", "VmHWM"), and the CPU ticks the process used.
std::optional<long> statusKb(pid_t pid, const std::string& field);
unsigned long long cpuTicks(pid_t pid);

// Holds a lock file that every test using the receivers' fixed UDP ports takes, so that test
// programs started by anyone on this machine never bind them at the same time.
class ReceiverPortsLock {
 public:
  explicit ReceiverPortsLock(std::chrono::seconds timeout = 300s);
  ~ReceiverPortsLock();
  ReceiverPortsLock(const ReceiverPortsLock&) = delete;
  ReceiverPortsLock& operator=(const ReceiverPortsLock&) = delete;

 private:
  int fd_ = -1;
};

// Polls until `condition` holds or `timeout` passes; the last value of the condition.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = 10ms);

// Polls the trace until it has at least `count` lines of `operation`.
bool waitForCalls(const std::string& tracePath, const std::string& operation, std::size_t count,
                  std::chrono::milliseconds timeout = 10s);
std::size_t countCalls(const std::string& tracePath, const std::string& operation);

}  // namespace testsupport

#include "support/receiver_process_inl.h"
