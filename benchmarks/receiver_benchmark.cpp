// Measures the left receiver against the reference receiver (one socket bound once), both
// running side by side in one run:
//   latency  sendto -> the stand-in's move_abs line, over loopback (median, p99, worst)
//   cpu      CPU time while waiting for datagrams, and while another program holds the port
//   share    how many datagrams are processed when a source sends at 100, 500 and 1000 Hz
//   dead time  one text's cycle step by step, from a datagram's arrival to the next socket bound
//   retry    the pace of the controller-open retries, 5 ms apart by design
//   receiver_benchmark [--samples N] [--idle-seconds S] [--rate-seconds S] [--cycles N]
//                  [--retry-seconds S] [--retry-pace-only] [--no-guard-variant]
// BRENIK_PROGRAM_DIR, BRENIK_PROGRAM_SUFFIX and BRENIK_LAUNCHER choose the programs, as for the
// program tests (benchmarks/wine-benchmarks.sh measures the .exe files so). Time stamps on both ends come
// from the programs' own monotonic clock, which the driver finds out first.
#include <signal.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/side_profile.h"
#include "platform/clock.h"
#include "platform/sockets.h"
#include "tools/udp_sending.h"
#include "support/datagram_sender.h"
#include "support/ports_lock.h"
#include "support/process_status.h"
#include "support/receiver_process.h"
#include "support/scratch_dir.h"
#include "support/trace.h"

#ifndef BRENIK_BENCHMARKS_BIN_DIR
#error "the build names the folder of the reference receiver"
#endif

namespace {

using namespace testsupport;

constexpr std::uint16_t kReceiverPort = app::kLeftProfile.udpPort;  // the left receiver's
// Any free ports will do for the reference and the step-by-step cycles: the next ones up.
constexpr std::uint16_t kReferencePort = kReceiverPort + 1;
constexpr std::uint16_t kStepsPort = kReceiverPort + 2;
constexpr std::uint16_t kStepsWithoutGuardPort = kReceiverPort + 3;
constexpr auto kPollStep = std::chrono::microseconds(50);
// The dead-time driver looks less often, so that it takes little CPU from the program it times;
// a datagram then comes up to a millisecond after the bind, as from a 1000 Hz source.
constexpr auto kStepsPollStep = std::chrono::microseconds(1000);
constexpr double kWaitLimitSeconds = 5.0;  // a datagram not handled by then counts as lost
constexpr auto kSettle = 300ms;
constexpr int kRates[] = {100, 500, 1000};
constexpr const char* kCpuTableHead =
    "| receiver | while | over | CPU (stat) | CPU (schedstat) |\n|---|---|---|---|---|\n";

struct Options {
  std::size_t samples = 2000;
  double idleSeconds = 5.0;
  double rateSeconds = 3.0;
  std::size_t cycles = 2000;
  double retrySeconds = 2.0;
  bool retryPaceOnly = false;
  bool noGuardVariant = false;  // for a cycle_steps older than --without-guard
};

// The clock the programs' time stamps are on: CLOCK_MONOTONIC natively; under Wine the
// Windows performance counter, which Wine takes from another clock.
clockid_t gProgramClock = CLOCK_MONOTONIC;

double programNow() {
  timespec now{};
  ::clock_gettime(gProgramClock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string environmentOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return (value != nullptr && *value != '\0') ? value : fallback;
}

// A bench program of this build, or of the one BRENIK_PROGRAM_DIR names, through the launcher.
std::vector<std::string> benchCommand(const std::string& program) {
  std::vector<std::string> command;
  const std::string launcher = environmentOr("BRENIK_LAUNCHER", "");
  for (std::size_t at = 0; at < launcher.size();) {
    const std::size_t end = std::min(launcher.find(' ', at), launcher.size());
    if (end > at) command.push_back(launcher.substr(at, end - at));
    at = end + 1;
  }
  command.push_back(environmentOr("BRENIK_PROGRAM_DIR", BRENIK_BENCHMARKS_BIN_DIR) + "/" + program +
                    environmentOr("BRENIK_PROGRAM_SUFFIX", ""));
  return command;
}

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
      if (line.find(" move_abs ") != std::string::npos)
        stamps.push_back(std::strtod(line.c_str(), nullptr));
    }
    return stamps;
  }

 private:
  std::string path_;
  std::streamoff offset_ = 0;
};

// One running receiver with its own folder, trace and sender. Both run side by side, so every
// measurement sees them under the same load.
struct Running {
  const char* name;
  std::uint16_t port;
  bool rebinds;  // binds a fresh socket for every datagram
  ScratchDir dir;
  std::unique_ptr<ReceiverProcess> process;
  TraceTail trace{dir.file("trace.txt")};
  DatagramSender sender{port};
  unsigned long lastInode = 0;
  std::vector<double> latencies;  // microseconds

  Running(const char* displayName, std::vector<std::string> command, std::uint16_t udpPort,
          bool freshSocketPerDatagram)
      : name(displayName), port(udpPort), rebinds(freshSocketPerDatagram) {
    process = std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        std::move(command), dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}}, false});
  }
  ~Running() {
    process->signal(SIGINT);
    process->waitExit(5s);
  }
};

template <typename Condition>
bool pollUntil(Condition condition, double limitSeconds,
               std::chrono::microseconds step = kPollStep) {
  const double deadline = platform::monotonicSeconds() + limitSeconds;
  while (!condition()) {
    if (platform::monotonicSeconds() > deadline) return false;
    std::this_thread::sleep_for(step);
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

// sendto -> move_abs for one datagram, sent once a socket is there to take it.
bool sampleLatency(Running& run, std::size_t i) {
  std::optional<BoundSocket> socket;
  const bool ready = pollUntil(
      [&] {
        socket = findBoundUdpSocket(run.port);
        return socket && socket->unreadBytes == 0 &&
               (!run.rebinds || socket->inode != run.lastInode);
      },
      kWaitLimitSeconds);
  if (!ready) {
    std::fprintf(stderr, "%s: no socket to send to\n", run.name);
    return false;
  }
  run.lastInode = socket->inode;
  const double sent = programNow();
  run.sender.sendNow(angleText(i));
  std::vector<double> moves;
  if (!pollUntil([&] { return !(moves = run.trace.newMoves()).empty(); }, kWaitLimitSeconds)) {
    std::fprintf(stderr, "%s: datagram %zu moved nothing\n", run.name, i);
    return false;
  }
  run.latencies.push_back((moves.front() - sent) * 1e6);
  return true;
}

// The two receivers take turns, the order swapped every datagram.
bool measureLatency(Running& a, Running& b, std::size_t samples) {
  for (std::size_t i = 0; i < samples; ++i) {
    Running& first = i % 2 == 0 ? a : b;
    Running& second = i % 2 == 0 ? b : a;
    if (!sampleLatency(first, i) || !sampleLatency(second, i)) return false;
  }
  for (Running* run : {&a, &b}) {
    std::vector<double>& micros = run->latencies;
    std::sort(micros.begin(), micros.end());
    std::printf("| %s | %zu | %.0f | %.0f | %.0f |\n", run->name, micros.size(),
                percentile(micros, 0.5), percentile(micros, 0.99), micros.back());
  }
  std::printf("\nmedian latency ratio, %s / %s: %.2f\n", a.name, b.name,
              percentile(a.latencies, 0.5) / percentile(b.latencies, 0.5));
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

// Time on a CPU in nanoseconds, from /proc/<pid>/schedstat: finer than the clock ticks of
// /proc/<pid>/stat (the receivers run one thread, the one this counts).
std::optional<double> cpuNanoseconds(pid_t pid) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/schedstat");
  double ns = 0;
  if (!(file >> ns)) return std::nullopt;
  return ns;
}

struct CpuSample {
  std::optional<long> ticks;
  std::optional<double> ns;
};

CpuSample sampleCpu(pid_t pid) { return {cpuTicks(pid), cpuNanoseconds(pid)}; }

// "<stat> ms | <schedstat> us" between two samples.
std::string cpuCells(const CpuSample& before, const CpuSample& after) {
  char cells[96] = "? | ?";
  if (before.ticks && after.ticks && before.ns && after.ns) {
    std::snprintf(cells, sizeof cells, "%.0f ms | %.0f us",
                  static_cast<double>(*after.ticks - *before.ticks) * 1000.0 /
                      static_cast<double>(::sysconf(_SC_CLK_TCK)),
                  (*after.ns - *before.ns) / 1000.0);
  }
  return cells;
}

// Both waiting for datagrams over the same seconds.
bool measureIdleCpu(Running& a, Running& b, double seconds) {
  const CpuSample beforeA = sampleCpu(a.process->pid());
  const CpuSample beforeB = sampleCpu(b.process->pid());
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const CpuSample afterA = sampleCpu(a.process->pid());
  const CpuSample afterB = sampleCpu(b.process->pid());
  std::printf("| %s | waiting for datagrams | %g s | %s |\n", a.name, seconds,
              cpuCells(beforeA, afterA).c_str());
  std::printf("| %s | waiting for datagrams | %g s | %s |\n", b.name, seconds,
              cpuCells(beforeB, afterB).c_str());
  return beforeA.ticks && afterA.ticks && beforeB.ticks && afterB.ticks;
}

// The receiver started while another program holds its port: it retries about once a second.
bool measureTakenPortCpu(const std::vector<std::string>& command, double seconds) {
  const auto held = platform::openBoundUdpSocket(kReceiverPort);
  if (!held) return false;
  const platform::SocketHandle holder = *held;
  bool ok = false;
  {
    Running run("L_BrenikReceiver", command, kReceiverPort, true);
    std::this_thread::sleep_for(1s);  // past start-up and the first report
    const CpuSample before = sampleCpu(run.process->pid());
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const CpuSample after = sampleCpu(run.process->pid());
    const std::string said = run.process->standardError();
    std::size_t reports = 0;
    for (std::size_t at = said.find(" is taken by another program"); at != std::string::npos;
         at = said.find(" is taken by another program", at + 1)) {
      ++reports;
    }
    std::printf("| %s | port held by another program (%zu report on stderr) | %g s | %s |\n",
                run.name, reports, seconds, cpuCells(before, after).c_str());
    ok = before.ticks && after.ticks;
  }
  platform::closeSocket(holder);
  return ok;
}

// A source sending at a fixed rate, whether or not anyone listens, as a game does: every tick
// goes to both receivers.
bool measureShare(Running& a, Running& b, double seconds) {
  std::vector<std::string> cells[2];
  for (const int rate : kRates) {
    const auto count = static_cast<std::size_t>(seconds * rate);
    a.trace.newMoves();
    b.trace.newMoves();
    const double start = platform::monotonicSeconds();
    for (std::size_t i = 0; i < count; ++i) {
      bench::sleepUntil(start + static_cast<double>(i) / rate);
      const std::string text = angleText(i);
      if (i % 2 == 0) {
        a.sender.sendNow(text);
        b.sender.sendNow(text);
      } else {
        b.sender.sendNow(text);
        a.sender.sendNow(text);
      }
    }
    std::this_thread::sleep_for(kSettle);
    Running* runs[] = {&a, &b};
    for (int r = 0; r < 2; ++r) {
      const std::size_t processed = runs[r]->trace.newMoves().size();
      char cell[64];
      std::snprintf(cell, sizeof cell, "%.1f %% (%zu/%zu)",
                    100.0 * static_cast<double>(processed) / static_cast<double>(count), processed,
                    count);
      cells[r].push_back(cell);
    }
  }
  for (int r = 0; r < 2; ++r) {
    std::printf("| %s |", r == 0 ? a.name : b.name);
    for (const std::string& cell : cells[r]) std::printf(" %s |", cell.c_str());
    std::printf("\n");
  }
  return true;
}

double secondsOn(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Sends one datagram to the step program once a socket newer than `lastInode` is bound; the
// time just before sendto, on gProgramClock (loopback delivers within the call).
std::optional<double> sendWhenBound(DatagramSender& sender, std::uint16_t port,
                                    unsigned long& lastInode, const std::string& text) {
  std::optional<BoundSocket> socket;
  if (!pollUntil(
          [&] {
            socket = findBoundUdpSocket(port);
            return socket && socket->unreadBytes == 0 && socket->inode != lastInode;
          },
          kWaitLimitSeconds, kStepsPollStep)) {
    return std::nullopt;
  }
  lastInode = socket->inode;
  const double sent = programNow();
  sender.sendNow(text);
  return sent;
}

// Which clock of this machine the programs' time stamps are on: the one on which a datagram's
// arrival, as the step program stamps it, comes right after its sendto.
bool pickProgramClock() {
  struct Candidate {
    clockid_t clock;
    const char* name;
  };
  const Candidate candidates[] = {{CLOCK_MONOTONIC, "CLOCK_MONOTONIC"},
                                  {CLOCK_MONOTONIC_RAW, "CLOCK_MONOTONIC_RAW"}};
  ScratchDir dir;
  std::vector<std::string> command = benchCommand("cycle_steps");
  command.insert(command.end(), {"--port", std::to_string(kStepsPort), "--clock"});
  ReceiverProcess process(ReceiverProcess::Options{command, dir.path(), {}, false});
  DatagramSender sender(kStepsPort);
  unsigned long noInode = 0;
  double sentOn[2] = {};
  if (!sendWhenBound(sender, kStepsPort, noInode, "0,0")) {
    std::fprintf(stderr, "cycle_steps never bound UDP port %u\n", kStepsPort);
    return false;
  }
  for (int c = 0; c < 2; ++c) sentOn[c] = secondsOn(candidates[c].clock);
  if (!process.waitExit(std::chrono::seconds(static_cast<int>(kWaitLimitSeconds)))) return false;
  const double stamped = std::strtod(process.standardOutput().c_str(), nullptr);
  int best = 0;
  for (int c = 1; c < 2; ++c) {
    if (std::fabs(stamped - sentOn[c]) < std::fabs(stamped - sentOn[best])) best = c;
  }
  gProgramClock = candidates[best].clock;
  std::printf("programs' clock: %s (arrival stamp - sendto: %+.0f us on %s, %+.0f us on %s)\n\n",
              candidates[best].name, (stamped - sentOn[0]) * 1e6, candidates[0].name,
              (stamped - sentOn[1]) * 1e6, candidates[1].name);
  return true;
}

// One cycle_steps program, fed one datagram at a time on a port of its own.
struct StepRun {
  const char* name;
  std::uint16_t port;
  ScratchDir dir;
  std::unique_ptr<ReceiverProcess> process;
  DatagramSender sender{port};
  unsigned long lastInode = 0;
  std::vector<double> sent;

  StepRun(const char* displayName, std::uint16_t udpPort, std::size_t cycles,
          const std::vector<std::string>& extra)
      : name(displayName), port(udpPort) {
    std::vector<std::string> command = benchCommand("cycle_steps");
    command.insert(command.end(),
                   {"--port", std::to_string(port), "--cycles", std::to_string(cycles)});
    command.insert(command.end(), extra.begin(), extra.end());
    process = std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        command, dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}}, false});
  }
};

bool reportDeadTime(StepRun& run, std::size_t cycles);

// One text's dead time, from a datagram's arrival (just before sendto) to the next socket bound,
// step by step as cycle_steps stamps them: as the receiver runs, and without its hold on the
// socket library. They take turns, and each text's cycle ends (its next socket is bound)
// before the other gets a datagram, so that they never run at once.
bool measureDeadTime(std::size_t cycles, bool withoutGuardToo) {
  std::vector<std::unique_ptr<StepRun>> runs;
  runs.push_back(std::make_unique<StepRun>("as the receiver runs", kStepsPort, cycles,
                                           std::vector<std::string>{}));
  if (withoutGuardToo) {
    runs.push_back(std::make_unique<StepRun>("without holding the socket library",
                                             kStepsWithoutGuardPort, cycles,
                                             std::vector<std::string>{"--without-guard"}));
  }
  for (std::size_t i = 0; i < cycles; ++i) {
    for (std::size_t r = 0; r < runs.size(); ++r) {
      StepRun& run = *runs[(r + i) % runs.size()];
      const std::optional<double> at =
          sendWhenBound(run.sender, run.port, run.lastInode, angleText(i));
      if (!at) {
        std::fprintf(stderr, "cycle_steps (%s): no new socket for datagram %zu\n", run.name, i);
        return false;
      }
      run.sent.push_back(*at);
      // Its next socket, unless that was its last text.
      if (i + 1 < cycles &&
          !pollUntil(
              [&] {
                const std::optional<BoundSocket> socket = findBoundUdpSocket(run.port);
                return socket && socket->inode != run.lastInode;
              },
              kWaitLimitSeconds, kStepsPollStep)) {
        std::fprintf(stderr, "cycle_steps (%s): no socket after datagram %zu\n", run.name, i);
        return false;
      }
    }
  }
  bool ok = true;
  for (const auto& run : runs) ok = reportDeadTime(*run, cycles) && ok;
  return ok;
}

bool reportDeadTime(StepRun& run, std::size_t cycles) {
  ReceiverProcess& process = *run.process;
  const std::vector<double>& sent = run.sent;
  if (process.waitExit(std::chrono::seconds(static_cast<int>(kWaitLimitSeconds))) != 0) {
    std::fprintf(stderr, "cycle_steps failed: %s\n", process.standardError().c_str());
    return false;
  }
  std::printf("\n%s\n\n", run.name);
  struct Stamps {
    double started, bound, received, closed, released, parsed, velocityBegin, velocityEnd,
        moveBegin, moveEnd;
  };
  std::vector<Stamps> stamps;
  const std::string output = process.standardOutput();
  for (const char* p = output.c_str(); *p != '\0';) {
    Stamps s{};
    int used = 0;
    if (std::sscanf(p, "%lf %lf %lf %lf %lf %lf %lf %lf %lf %lf\n%n", &s.started, &s.bound,
                    &s.received, &s.closed, &s.released, &s.parsed, &s.velocityBegin,
                    &s.velocityEnd, &s.moveBegin, &s.moveEnd, &used) != 10 || used == 0) {
      break;
    }
    stamps.push_back(s);
    p += used;
  }
  if (stamps.size() != cycles) {
    std::fprintf(stderr, "cycle_steps gave %zu of %zu stamp lines\n", stamps.size(), cycles);
    return false;
  }
  // Steps in the order the receiver passes them; text i's dead time ends with text i+1's bind.
  const char* names[] = {"receiveDatagrams (the wait and the receives), from sendto",
                         "closeSocket (closesocket)",
                         "stopSockets (WSACleanup)",
                         "readAngles",
                         "planAndCommand without the two calls",
                         "stand-in write_velocity (trace line, fflush)",
                         "stand-in move_abs (trace line, fflush)",
                         "back in the loop, startSockets (WSAStartup)",
                         "openBoundUdpSocket (socket + bind)"};
  constexpr std::size_t kSteps = std::size(names);
  std::vector<double> steps[kSteps];
  std::vector<double> total;
  for (std::size_t i = 0; i + 1 < cycles; ++i) {
    const Stamps& s = stamps[i];
    const Stamps& next = stamps[i + 1];
    const double values[kSteps] = {
        s.received - sent[i], s.closed - s.received, s.released - s.closed,
        s.parsed - s.released, (s.velocityBegin - s.parsed) + (s.moveBegin - s.velocityEnd),
        s.velocityEnd - s.velocityBegin, s.moveEnd - s.moveBegin, next.started - s.moveEnd,
        next.bound - next.started};
    for (std::size_t k = 0; k < kSteps; ++k) steps[k].push_back(values[k] * 1e6);
    total.push_back((next.bound - sent[i]) * 1e6);
  }
  std::printf("| step | median | mean | p90 | p99 | worst |\n|---|---|---|---|---|---|\n");
  const auto row = [](const char* name, std::vector<double>& micros) {
    double sum = 0;
    for (const double value : micros) sum += value;
    std::sort(micros.begin(), micros.end());
    std::printf("| %s | %.1f | %.1f | %.1f | %.1f | %.0f |\n", name, percentile(micros, 0.5),
                sum / static_cast<double>(micros.size()), percentile(micros, 0.9),
                percentile(micros, 0.99), micros.back());
  };
  for (std::size_t k = 0; k < kSteps; ++k) row(names[k], steps[k]);
  // A datagram arriving every 1/rate s is lost while no socket is bound: a text whose dead time
  // spans k periods costs k - 1 datagrams, so the share is 1 / mean(ceil(dead time * rate)).
  std::vector<double> sorted = total;
  row("**dead time, arrival -> next socket bound**", sorted);
  std::printf("\n%zu texts\n\n| rate | dead time longer than a period | share these give |\n"
              "|---|---|---|\n",
              total.size());
  for (const int rate : kRates) {
    double periods = 0;
    std::size_t longer = 0;
    for (const double micros : total) {
      periods += std::ceil(micros * rate / 1e6);
      longer += micros * rate > 1e6;
    }
    std::printf("| %d Hz | %.1f %% | %.1f %% |\n", rate,
                100.0 * static_cast<double>(longer) / static_cast<double>(total.size()),
                100.0 * static_cast<double>(total.size()) / periods);
  }
  return true;
}

// The receiver started with a controller that never opens: how far apart its attempts are.
bool measureRetryPace(double seconds) {
  ScratchDir dir;
  const std::string trace = dir.file("trace.txt");
  ReceiverProcess process(ReceiverProcess::Options{
      receiverCommand(Side::Left), dir.path(),
      {{"AXCLCOM_TRACE", trace}, {"AXCLCOM_INIT", "0"}, {"AXCLCOM_STATE", "4"}}, false});
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  process.signal(SIGINT);
  process.waitExit(5s);
  std::vector<double> gaps;
  double previous = 0;
  for (const TraceLine& line : readTrace(trace)) {
    if (line.operation != "init_axcl_config") continue;
    if (previous > 0) gaps.push_back((line.time - previous) * 1000.0);
    previous = line.time;
  }
  if (gaps.empty()) {
    std::fprintf(stderr, "the receiver made fewer than two attempts to open the controller\n");
    return false;
  }
  std::sort(gaps.begin(), gaps.end());
  std::printf("| L_BrenikReceiver | %zu | %.2f | %.2f | %.2f |\n", gaps.size() + 1,
              percentile(gaps, 0.5), percentile(gaps, 0.99), gaps.back());
  return true;
}

constexpr const char* kRetryTableHead =
    "| receiver | attempts | median gap (ms) | p99 | worst |\n|---|---|---|---|---|\n";

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
  std::ifstream loadavg("/proc/loadavg");
  std::string load1, load5, load15;
  loadavg >> load1 >> load5 >> load15;
  std::printf("machine: %s, %ld logical CPUs online, %s %s, load average %s %s %s\n\n",
              model.c_str(), ::sysconf(_SC_NPROCESSORS_ONLN), system.sysname, system.release,
              load1.c_str(), load5.c_str(), load15.c_str());
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--retry-pace-only" || name == "--no-guard-variant") {
      (name == "--retry-pace-only" ? options.retryPaceOnly : options.noGuardVariant) = true;
      --i;  // takes no value
      continue;
    }
    if (i + 1 >= argc) return false;
    const double value = std::strtod(argv[i + 1], nullptr);
    if (value <= 0) return false;
    if (name == "--samples") {
      options.samples = static_cast<std::size_t>(value);
    } else if (name == "--idle-seconds") {
      options.idleSeconds = value;
    } else if (name == "--rate-seconds") {
      options.rateSeconds = value;
    } else if (name == "--cycles") {
      options.cycles = static_cast<std::size_t>(value);
    } else if (name == "--retry-seconds") {
      options.retrySeconds = value;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: receiver_benchmark [--samples N] [--idle-seconds S] [--rate-seconds S] "
                 "[--cycles N] [--retry-seconds S] [--retry-pace-only] [--no-guard-variant]\n");
    return 2;
  }
  for (const std::uint16_t port :
       {kReceiverPort, kReferencePort, kStepsPort, kStepsWithoutGuardPort}) {
    if (findBoundUdpSocket(port)) {
      std::fprintf(stderr, "UDP port %u is in use by another program; stop it first\n", port);
      return 1;
    }
  }
  printMachine();
  if (options.retryPaceOnly) {
    std::printf("controller-open retries over %g s\n\n%s", options.retrySeconds, kRetryTableHead);
    return measureRetryPace(options.retrySeconds) ? 0 : 1;
  }
  if (!pickProgramClock()) return 1;

  bool ok = true;
  {
    Running receiver("L_BrenikReceiver", receiverCommand(Side::Left), kReceiverPort, true);
    std::vector<std::string> referenceCommand = benchCommand("reference_receiver");
    referenceCommand.insert(referenceCommand.end(),
                            {"--side", "left", "--port", std::to_string(kReferencePort)});
    Running reference("reference (bound once)", referenceCommand, kReferencePort, false);
    for (const Running* run : {&receiver, &reference}) {
      if (!pollUntil([run] { return findBoundUdpSocket(run->port).has_value(); },
                     kWaitLimitSeconds)) {
        std::fprintf(stderr, "%s never bound its port\n", run->name);
        return 1;
      }
    }
    std::this_thread::sleep_for(1s);  // past start-up

    std::printf("CPU time (utime + stime)\n\n%s", kCpuTableHead);
    ok = measureIdleCpu(receiver, reference, options.idleSeconds) && ok;

    std::printf("\nlatency, sendto -> move_abs trace line (microseconds)\n\n");
    std::printf("| receiver | samples | median | p99 | worst |\n|---|---|---|---|---|\n");
    ok = ok && measureLatency(receiver, reference, options.samples);

    std::printf("\ndatagrams processed (move_abs lines / sent), %g s per rate\n\n",
                options.rateSeconds);
    std::printf("| receiver | 100 Hz | 500 Hz | 1000 Hz |\n|---|---|---|---|\n");
    ok = ok && measureShare(receiver, reference, options.rateSeconds);
  }
  std::printf("\nCPU time with the port taken\n\n%s", kCpuTableHead);
  ok = measureTakenPortCpu(receiverCommand(Side::Left), options.idleSeconds) && ok;

  std::printf("\ncontroller-open retries over %g s\n\n%s", options.retrySeconds, kRetryTableHead);
  ok = measureRetryPace(options.retrySeconds) && ok;

  std::printf("\ndead time of one text, step by step (cycle_steps, microseconds)\n");
  ok = ok && measureDeadTime(options.cycles, !options.noGuardVariant);
  return ok ? 0 : 1;
}
