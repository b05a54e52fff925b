// POSIX implementation of the receiver test harness.
#include "support/receiver_process.h"

#include "support/text_file.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#if !defined(BRENIK_DEFAULT_PROGRAM_DIR) || !defined(BRENIK_DEFAULT_TEST_LIBRARY_DIR)
#error "the build names the folders of the receivers under test and of their test libraries"
#endif

namespace testsupport {
namespace {

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : fallback;
}

std::vector<std::string> splitWords(const std::string& text) {
  std::istringstream stream(text);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  return words;
}

constexpr int kMaxInheritedFd = 1024;

}  // namespace

std::vector<TraceLine> readTrace(const std::string& path) {
  std::vector<TraceLine> lines;
  std::ifstream file(path);
  for (std::string text; std::getline(file, text);) {
    std::vector<std::string> words = splitWords(text);
    if (words.size() < 2) continue;
    TraceLine line;
    line.time = std::strtod(words[0].c_str(), nullptr);
    line.operation = words[1];
    for (std::size_t i = 2; i < words.size(); ++i) {
      if (words[i] == "->" && i + 1 < words.size()) {
        line.result = std::atoi(words[i + 1].c_str());
        break;
      }
      line.arguments.push_back(words[i]);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::vector<std::string> traceCalls(const std::string& path) {
  std::vector<std::string> calls;
  for (const TraceLine& line : readTrace(path)) {
    std::string call = line.operation;
    for (const std::string& argument : line.arguments) call += " " + argument;
    if (line.result) call += " -> " + std::to_string(*line.result);
    calls.push_back(call);
  }
  return calls;
}

std::size_t countCalls(const std::string& tracePath, const std::string& operation) {
  std::size_t count = 0;
  for (const TraceLine& line : readTrace(tracePath)) count += line.operation == operation;
  return count;
}

bool waitForCalls(const std::string& tracePath, const std::string& operation, std::size_t count,
                  std::chrono::milliseconds timeout) {
  return waitFor([&] { return countCalls(tracePath, operation) >= count; }, timeout);
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "brenik-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool ScratchDir::write(const std::string& name, const std::string& contents) const {
  std::ofstream out(file(name), std::ios::binary);
  out << contents;
  return static_cast<bool>(out);
}

std::vector<std::string> receiverCommand(Side side) {
  const std::string dir = environmentOr("BRENIK_PROGRAM_DIR", BRENIK_DEFAULT_PROGRAM_DIR);
  const std::string suffix = environmentOr("BRENIK_PROGRAM_SUFFIX", "");
  std::vector<std::string> command = splitWords(environmentOr("BRENIK_LAUNCHER", ""));
  command.push_back(dir + (side == Side::Left ? "/L_BrenikReceiver" : "/R_BrenikReceiver") + suffix);
  return command;
}

std::uint16_t receiverPort(Side side) { return side == Side::Left ? 11111 : 22222; }

bool launchedThroughEmulator() { return !environmentOr("BRENIK_LAUNCHER", "").empty(); }

ProgramBuild programBuild() {
  const bool windows = environmentOr("BRENIK_PROGRAM_SUFFIX", "") == ".exe";
  return {windows ? "AXCLCOM.dll" : "libAXCLCOM.so",
          std::atoi(environmentOr("BRENIK_PROGRAM_BITS", std::to_string(sizeof(void*) * 8)).c_str()),
          environmentOr("BRENIK_CONTROLLER_STDCALL", "") == "1",
          environmentOr("BRENIK_TEST_LIBRARY_DIR", BRENIK_DEFAULT_TEST_LIBRARY_DIR)};
}

ReceiverProcess::ReceiverProcess(Options options) {
  char stderrName[] = "/tmp/brenik-stderr-XXXXXX";
  const int stderrFd = ::mkstemp(stderrName);
  char stdoutName[] = "/tmp/brenik-stdout-XXXXXX";
  const int stdoutFd = ::mkstemp(stdoutName);
  if (stderrFd < 0 || stdoutFd < 0) throw std::runtime_error("cannot make files for the output");
  stderrPath_ = stderrName;
  stdoutPath_ = stdoutName;

  int stdinPipe[2] = {-1, -1};
  if (options.keepStdinOpen && ::pipe(stdinPipe) != 0) throw std::runtime_error("pipe failed");

  std::vector<char*> argv;
  for (std::string& word : options.command) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    ::setpgid(0, 0);  // its own group, so the launcher and what it starts go together
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a test that was killed
    if (::chdir(options.workDir.c_str()) != 0) ::_exit(126);
    for (const char* name : {"AXCLCOM_TRACE", "AXCLCOM_INIT", "AXCLCOM_STATE"}) ::unsetenv(name);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int in = options.keepStdinOpen ? stdinPipe[0] : ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    ::dup2(stdoutFd, STDOUT_FILENO);
    ::dup2(stderrFd, STDERR_FILENO);
    // Nothing of the test's own (sockets holding a port, pipes) may live on in the program.
    for (int fd = STDERR_FILENO + 1; fd < kMaxInheritedFd; ++fd) ::close(fd);
    // Signals the test runner ignores must reach the program as they would from a console.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(signalNumber, SIG_DFL);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(stderrFd);
  ::close(stdoutFd);
  if (options.keepStdinOpen) {
    ::close(stdinPipe[0]);
    stdinFd_ = stdinPipe[1];
  }
}

ReceiverProcess::~ReceiverProcess() {
  if (running()) {
    ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    waitExit(5s);
  }
  if (stdinFd_ >= 0) ::close(stdinFd_);
  ::unlink(stderrPath_.c_str());
  ::unlink(stdoutPath_.c_str());
}

bool ReceiverProcess::running() {
  if (exitCode_) return false;
  int status = 0;
  const pid_t done = ::waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }
  return done == 0;
}

void ReceiverProcess::signal(int signalNumber) { ::kill(pid_, signalNumber); }

void ReceiverProcess::writeStdin(const std::string& text) {
  if (stdinFd_ >= 0 && ::write(stdinFd_, text.data(), text.size()) < 0) {
    throw std::runtime_error("cannot write to the program's standard input");
  }
}

std::optional<int> ReceiverProcess::waitExit(std::chrono::milliseconds timeout) {
  waitFor([this] { return !running(); }, timeout, 5ms);
  return exitCode_;
}

namespace {

// A Windows program's console text ends its lines in CRLF.
std::string withoutCarriageReturns(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

}  // namespace

std::string ReceiverProcess::standardError() { return withoutCarriageReturns(readFile(stderrPath_)); }
std::string ReceiverProcess::standardOutput() { return withoutCarriageReturns(readFile(stdoutPath_)); }

ReceiverPortsLock::ReceiverPortsLock(std::chrono::seconds timeout) {
  fd_ = ::open("/tmp/brenik-receiver-ports.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) throw std::runtime_error("cannot open the receiver ports lock file");
  if (!waitFor([this] { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }, timeout, 50ms)) {
    throw std::runtime_error("the receiver ports stayed locked by another test");
  }
}

ReceiverPortsLock::~ReceiverPortsLock() { ::close(fd_); }

std::optional<long> statusKb(pid_t pid, const std::string& field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return std::nullopt;
}

unsigned long long cpuTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  unsigned long long ticks = 0;
  for (int i = 1; i <= 15 && stat >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::stoull(field);  // utime and stime
  }
  return ticks;
}

std::optional<BoundSocket> findBoundUdpSocket(std::uint16_t port) {
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // column names
  while (std::getline(table, line)) {
    unsigned long localAddress = 0, localPort = 0, txQueue = 0, rxQueue = 0, inode = 0;
    // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    if (std::sscanf(line.c_str(), " %*d: %lX:%lX %*X:%*X %*X %lX:%lX %*X:%*X %*X %*u %*u %lu",
                    &localAddress, &localPort, &txQueue, &rxQueue, &inode) == 5 &&
        localPort == port) {
      return BoundSocket{inode, rxQueue};
    }
  }
  return std::nullopt;
}

DatagramSender::DatagramSender(std::uint16_t port) : port_(port) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd_ < 0) throw std::runtime_error("cannot open a sending socket");
}

DatagramSender::~DatagramSender() { ::close(fd_); }

void DatagramSender::sendNow(const std::string& payload) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port_);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd_, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

bool DatagramSender::send(const std::string& payload, std::chrono::milliseconds timeout) {
  std::optional<BoundSocket> socket;
  const bool ready = waitFor(
      [&] {
        socket = findBoundUdpSocket(port_);
        return socket && socket->inode != lastInode_ && socket->unreadBytes == 0;
      },
      timeout, 1ms);
  if (!ready) return false;
  sendNow(payload);
  // A text the receiver keeps its socket for (an empty one) is consumed on the same socket.
  const bool keepsSocket = payload.empty() || payload[0] == '\0';
  if (keepsSocket) {
    return waitFor(
        [&] {
          const std::optional<BoundSocket> now = findBoundUdpSocket(port_);
          return !now || now->inode != socket->inode || now->unreadBytes == 0;
        },
        timeout, 1ms);
  }
  lastInode_ = socket->inode;
  return true;
}

}  // namespace testsupport
