// Measures the left receiver against the reference receiver (one socket bound once), in one run:
//   latency  sendto -> the stand-in's move_abs line, over loopback (median, p99, worst)
//   cpu      CPU time while waiting for datagrams, and while another program holds the port
//   share    how many datagrams are processed when a source sends at 100, 500 and 1000 Hz
//   receiver_bench [--samples N] [--idle-seconds S] [--rate-seconds S]
// Time stamps on both ends come from the same monotonic clock as the stand-in's trace.
#include <signal.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/receiver_process.h"

#ifndef BRENIK_BENCH_BIN_DIR
#error "the build names the folder of the reference receiver"
#endif

namespace {

using namespace testsupport;

constexpr std::uint16_t kPort = 11111;  // the left receiver's
constexpr auto kPollStep = std::chrono::microseconds(50);
constexpr double kWaitLimitSeconds = 5.0;  // a datagram not handled by then counts as lost
constexpr auto kSettle = 300ms;
constexpr int kRates[] = {100, 500, 1000};

struct Options {
  std::size_t samples = 2000;
  double idleSeconds = 5.0;
  double rateSeconds = 3.0;
};

struct Target {
  const char* name;
  std::vector<std::string> command;
  bool rebinds;  // binds a fresh socket for every datagram
};

// The receiver's trace read as it grows: time stamps of the move_abs lines.
class TraceTail {
 public:
  explicit TraceTail(std::string path) : path_(std::move(path)) {}

  // Time stamps of move_abs lines written since the last call.
  std::vector<double> newMoves() {
    std::ifstream file(path_, std::ios::binary);
    file.seekg(offset_);
    std::vector<double> stamps;
    for (std::string line; std::getline(file, line) && file.good();) {
      offset_ += static_cast<std::streamoff>(line.size()) + 1;
      if (line.find(" move_abs ") != std::string::npos) stamps.push_back(std::strtod(line.c_str(), nullptr));
    }
    return stamps;
  }

 private:
  std::string path_;
  std::streamoff offset_ = 0;
};

// One running receiver with its own folder and trace.
struct Running {
  ScratchDir dir;
  std::unique_ptr<ReceiverProcess> process;
  std::unique_ptr<TraceTail> trace;

  explicit Running(const Target& target) {
    process = std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        target.command, dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}}, false});
    trace = std::make_unique<TraceTail>(dir.file("trace.txt"));
  }
  ~Running() {
    process->signal(SIGINT);
    process->waitExit(5s);
  }
};

template <typename Condition>
bool pollUntil(Condition condition, double limitSeconds) {
  const double deadline = platform::monotonicSeconds() + limitSeconds;
  while (!condition()) {
    if (platform::monotonicSeconds() > deadline) return false;
    std::this_thread::sleep_for(kPollStep);
  }
  return true;
}

std::string angleText(std::size_t i) {
  const int pitch = static_cast<int>(i % 41) - 20;
  const int roll = 15 - static_cast<int>((i * 7) % 31);
  return std::to_string(pitch) + "," + std::to_string(roll) + ".5";
}

double percentile(const std::vector<double>& sorted, double share) {
  const auto index = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(index, sorted.size() - 1)];
}

// sendto -> move_abs, one datagram at a time, each sent once a socket is there to take it.
bool measureLatency(const Target& target, std::size_t samples) {
  Running run(target);
  DatagramSender sender(kPort);
  std::vector<double> micros;
  unsigned long lastInode = 0;
  for (std::size_t i = 0; i < samples; ++i) {
    std::optional<BoundSocket> socket;
    const bool ready = pollUntil(
        [&] {
          socket = findBoundUdpSocket(kPort);
          return socket && socket->unreadBytes == 0 && (!target.rebinds || socket->inode != lastInode);
        },
        kWaitLimitSeconds);
    if (!ready) {
      std::fprintf(stderr, "%s: no socket to send to\n", target.name);
      return false;
    }
    lastInode = socket->inode;
    const double sent = platform::monotonicSeconds();
    sender.sendNow(angleText(i));
    std::vector<double> moves;
    if (!pollUntil([&] { return !(moves = run.trace->newMoves()).empty(); }, kWaitLimitSeconds)) {
      std::fprintf(stderr, "%s: datagram %zu moved nothing\n", target.name, i);
      return false;
    }
    micros.push_back((moves.front() - sent) * 1e6);
  }
  std::sort(micros.begin(), micros.end());
  std::printf("| %s | %zu | %.0f | %.0f | %.0f |\n", target.name, micros.size(),
              percentile(micros, 0.5), percentile(micros, 0.99), micros.back());
  return true;
}

// utime + stime of a process in clock ticks, from /proc/<pid>/stat.
std::optional<long> cpuTicks(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const std::size_t close = stat.rfind(')');  // the program name may hold spaces
  if (close == std::string::npos) return std::nullopt;
  const char* p = stat.c_str() + close + 2;
  // Fields after the name: state, then numbers; utime and stime are the 12th and 13th of them.
  char state = 0;
  long skipped[10];
  long utime = 0, stime = 0;
  if (std::sscanf(p, "%c %ld %ld %ld %ld %ld %ld %ld %ld %ld %ld %ld %ld", &state, &skipped[0],
                  &skipped[1], &skipped[2], &skipped[3], &skipped[4], &skipped[5], &skipped[6],
                  &skipped[7], &skipped[8], &skipped[9], &utime, &stime) != 13) {
    return std::nullopt;
  }
  return utime + stime;
}

double cpuMillisecondsOver(pid_t pid, double seconds) {
  const std::optional<long> before = cpuTicks(pid);
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const std::optional<long> after = cpuTicks(pid);
  if (!before || !after) return -1;
  return static_cast<double>(*after - *before) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

bool measureCpu(const Target& target, double seconds) {
  double idle = -1;
  {
    Running run(target);
    if (!pollUntil([] { return findBoundUdpSocket(kPort).has_value(); }, kWaitLimitSeconds)) return false;
    std::this_thread::sleep_for(1s);  // past start-up
    idle = cpuMillisecondsOver(run.process->pid(), seconds);
  }
  std::string taken = "n/a (exits: the port is its only one)";
  if (target.rebinds) {
    std::string error;
    const platform::SocketHandle holder = platform::openBoundUdpSocket(kPort, error);
    if (holder == platform::kInvalidSocket) return false;
    {
      Running run(target);
      std::this_thread::sleep_for(1s);
      const double ms = cpuMillisecondsOver(run.process->pid(), seconds);
      const std::string said = run.process->standardError();
      std::size_t reports = 0;
      for (std::size_t at = said.find("cannot use UDP port"); at != std::string::npos;
           at = said.find("cannot use UDP port", at + 1)) {
        ++reports;
      }
      taken = std::to_string(static_cast<int>(ms)) + " ms, " + std::to_string(reports) +
              " report(s) on stderr";
    }
    platform::closeSocket(holder);
  }
  std::printf("| %s | %.0f s | %.0f ms | %s |\n", target.name, seconds, idle, taken.c_str());
  return true;
}

// A source sending at a fixed rate, whether or not anyone listens, as a game does.
bool measureShare(const Target& target, double seconds) {
  Running run(target);
  if (!pollUntil([] { return findBoundUdpSocket(kPort).has_value(); }, kWaitLimitSeconds)) return false;
  DatagramSender sender(kPort);
  std::printf("| %s |", target.name);
  for (const int rate : kRates) {
    const auto count = static_cast<std::size_t>(seconds * rate);
    run.trace->newMoves();
    const double start = platform::monotonicSeconds();
    for (std::size_t i = 0; i < count; ++i) {
      platform::sleepUntil(start + static_cast<double>(i) / rate);
      sender.sendNow(angleText(i));
    }
    std::this_thread::sleep_for(kSettle);
    const std::size_t processed = run.trace->newMoves().size();
    std::printf(" %.1f %% (%zu/%zu) |", 100.0 * static_cast<double>(processed) / static_cast<double>(count),
                processed, count);
  }
  std::printf("\n");
  return true;
}

void printMachine() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string model = "unknown";
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  utsname system{};
  ::uname(&system);
  std::printf("machine: %s, %ld logical CPUs online, %s %s\n\n", model.c_str(),
              ::sysconf(_SC_NPROCESSORS_ONLN), system.sysname, system.release);
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const double value = std::strtod(argv[i + 1], nullptr);
    if (value <= 0) return false;
    if (name == "--samples") {
      options.samples = static_cast<std::size_t>(value);
    } else if (name == "--idle-seconds") {
      options.idleSeconds = value;
    } else if (name == "--rate-seconds") {
      options.rateSeconds = value;
    } else {
      return false;
    }
  }
  return argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: receiver_bench [--samples N] [--idle-seconds S] [--rate-seconds S]\n");
    return 2;
  }
  if (findBoundUdpSocket(kPort)) {
    std::fprintf(stderr, "UDP port %u is in use by another program; stop it first\n", kPort);
    return 1;
  }
  const Target targets[] = {
      {"L_BrenikReceiver", receiverCommand(Side::Left), true},
      {"reference (bound once)", {std::string(BRENIK_BENCH_BIN_DIR) + "/reference_receiver"}, false},
  };
  printMachine();

  bool ok = true;
  std::printf("latency, sendto -> move_abs trace line (microseconds)\n\n");
  std::printf("| receiver | samples | median | p99 | worst |\n|---|---|---|---|---|\n");
  for (const Target& target : targets) ok = measureLatency(target, options.samples) && ok;

  std::printf("\nCPU time (utime + stime)\n\n");
  std::printf("| receiver | over | waiting for datagrams | port held by another program |\n|---|---|---|---|\n");
  for (const Target& target : targets) ok = measureCpu(target, options.idleSeconds) && ok;

  std::printf("\ndatagrams processed (move_abs lines / sent), %.0f s per rate\n\n", options.rateSeconds);
  std::printf("| receiver | 100 Hz | 500 Hz | 1000 Hz |\n|---|---|---|---|\n");
  for (const Target& target : targets) ok = measureShare(target, options.rateSeconds) && ok;
  return ok ? 0 : 1;
}
