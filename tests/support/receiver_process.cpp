// Starting a built receiver as a POSIX process with its own working folder and output files.
#include "support/receiver_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "app/side_profile.h"
#include "support/text_file.h"

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

std::vector<std::string> receiverCommand(Side side) {
  const std::string dir = environmentOr("BRENIK_PROGRAM_DIR", BRENIK_DEFAULT_PROGRAM_DIR);
  const std::string suffix = environmentOr("BRENIK_PROGRAM_SUFFIX", "");
  std::vector<std::string> command = splitWords(environmentOr("BRENIK_LAUNCHER", ""));
  command.push_back(dir + (side == Side::Left ? "/L_BrenikReceiver" : "/R_BrenikReceiver") + suffix);
  return command;
}

std::uint16_t receiverPort(Side side) { return app::profileFor(side).udpPort; }

bool launchedThroughEmulator() { return !environmentOr("BRENIK_LAUNCHER", "").empty(); }

std::string commaDecimalLocale() {
  return environmentOr("BRENIK_PROGRAM_SUFFIX", "") == ".exe" ? "German_Germany.1252"
                                                               : "de_DE.UTF-8";
}

ProgramBuild programBuild() {
  const bool windows = environmentOr("BRENIK_PROGRAM_SUFFIX", "") == ".exe";
  const int bits =
      std::atoi(environmentOr("BRENIK_PROGRAM_BITS", std::to_string(sizeof(void*) * 8)).c_str());
  return {windows ? "AXCLCOM.dll" : "libAXCLCOM.so", bits, windows && bits == 32,
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
    for (const char* name : {"AXCLCOM_TRACE", "AXCLCOM_INIT", "AXCLCOM_STATE", "AXCLCOM_DELAY_MS",
                             "AXCLCOM_OPEN_DELAY_MS"}) {
      ::unsetenv(name);
    }
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    const int in = options.keepStdinOpen ? stdinPipe[0] : ::open("/dev/null", O_RDONLY);
    ::dup2(in, STDIN_FILENO);
    const int out = options.standardOutputTo.empty()
                        ? stdoutFd
                        : ::open(options.standardOutputTo.c_str(), O_WRONLY);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(stderrFd, STDERR_FILENO);
    // Nothing of the test's own (sockets holding a port, pipes) may live on in the program.
    for (int fd = STDERR_FILENO + 1; fd < kMaxInheritedFd; ++fd) ::close(fd);
    if (options.closeStdinAndStderr) {
      ::close(STDIN_FILENO);
      ::close(STDERR_FILENO);
    }
    if (options.onlyStandardStreamFiles) {
      constexpr rlim_t kStandardStreams = 3;
      const rlimit limit{kStandardStreams, kStandardStreams};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
      ::close(STDIN_FILENO);
    }
    // Signals the test runner ignores must reach the program as they would from a console.
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) {
      ::signal(signalNumber, SIG_DFL);
    }
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

}  // namespace testsupport
