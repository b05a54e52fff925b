// Measures the left receiver against the minimal receiver (reference_receiver: one socket bound
// once, one datagram per receive, the same reader, planner and controller calls), both running
// side by side in one run and fed in turns, one datagram each, so that both see the same load:
//   latency  sendto -> the stand-in's move_abs line, over loopback (median, p99, worst)
//   cpu      CPU time while waiting for datagrams, and while another program holds the port
//   share    how many datagrams are commanded when a source sends at 100, 500 and 1000 Hz
//   turns    one text's turn step by step, from a datagram's arrival to the next wait, for the
//            receiver's path and the minimal's (cycle_steps)
//   retry    the pace of the controller-open retries, 5 ms apart by design
//   receiver_benchmark [--samples N] [--idle-seconds S] [--rate-seconds S] [--cycles N]
//                  [--retry-seconds S] [--retry-pace-only | --turns-only]
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
#include "support/expected_commands.h"
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
// Any free ports will do for the minimal receiver and the step-by-step turns: the next ones up.
constexpr std::uint16_t kReferencePort = kReceiverPort + 1;
constexpr std::uint16_t kStepsPort = kReceiverPort + 2;
constexpr std::uint16_t kStepsMinimalPort = kReceiverPort + 3;
constexpr auto kPollStep = std::chrono::microseconds(50);
// The step-by-step driver looks less often, so that it takes little CPU from the program it
// times; a datagram then comes up to a millisecond after the previous one was commanded, as from
// a 1000 Hz source.
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
  bool turnsOnly = false;
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

// One move_abs line of the stand-in's trace: its time stamp and the call ("move_abs 0 -22132").
struct Move {
  double time;
  std::string call;
};

// The receiver's trace read as it grows: its move_abs lines.
class TraceTail {
 public:
  explicit TraceTail(std::string path) : path_(std::move(path)) {}

  // The move_abs lines written since the last call.
  std::vector<Move> newMoves() {
    std::ifstream file(path_, std::ios::binary);
    file.seekg(offset_);
    std::vector<Move> moves;
    for (std::string line; std::getline(file, line) && file.good();) {
      offset_ += static_cast<std::streamoff>(line.size()) + 1;
      const std::size_t call = line.find(" move_abs ");
      if (!line.empty() && line.back() == '\r') line.pop_back();  // the .exe files' text mode
      if (call != std::string::npos) {
        moves.push_back({std::strtod(line.c_str(), nullptr), line.substr(call + 1)});
      }
    }
    return moves;
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
  ScratchDir dir;
  std::unique_ptr<ReceiverProcess> process;
  TraceTail trace{dir.file("trace.txt")};
  DatagramSender sender{port};
  std::vector<double> latencies;  // microseconds

  Running(const char* displayName, std::vector<std::string> command, std::uint16_t udpPort)
      : name(displayName), port(udpPort) {
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

// Whether `port`'s socket is bound and has nothing unread: the datagram before was taken.
bool boundAndEmpty(std::uint16_t port) {
  const std::optional<BoundSocket> socket = findBoundUdpSocket(port);
  return socket && socket->unreadBytes == 0;
}

// sendto -> move_abs for one datagram, sent once the previous one was commanded (its trace line
// came; the caller waited for it) and the socket holds nothing unread, so that only the path of
// one datagram into a waiting receiver is measured.
bool sampleLatency(Running& run, std::size_t i) {
  if (!pollUntil([&] { return boundAndEmpty(run.port); }, kWaitLimitSeconds)) {
    std::fprintf(stderr, "%s: no empty socket to send to\n", run.name);
    return false;
  }
  const double sent = programNow();
  run.sender.sendNow(angleText(i));
  std::vector<Move> moves;
  if (!pollUntil([&] { return !(moves = run.trace.newMoves()).empty(); }, kWaitLimitSeconds)) {
    std::fprintf(stderr, "%s: datagram %zu moved nothing\n", run.name, i);
    return false;
  }
  run.latencies.push_back((moves.front().time - sent) * 1e6);
  return true;
}

// The two receivers take turns datagram by datagram: one to `a`, one to `b`, and so on, each sent
// once the one before (to the other program) was commanded.
bool measureLatency(Running& a, Running& b, std::size_t samples) {
  for (std::size_t i = 0; i < samples; ++i) {
    if (!sampleLatency(a, i) || !sampleLatency(b, i)) return false;
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
    Running run("L_BrenikReceiver", command, kReceiverPort);
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

// The move_abs call the receivers make for each of `count` texts of angleText: positions depend on
// the angles alone (left side, the receivers' default reversal).
std::vector<std::string> expectedMoves(std::size_t count) {
  constexpr int kDefaultReversal = 1;
  constexpr motion::MotionLimits kDefaultLimits{20000, 33};  // the speed only; not the position
  std::vector<std::string> moves;
  for (std::size_t i = 0; i < count; ++i) {
    moves.push_back(testsupport::expectedCommands(motion::Side::Left, {angleText(i)},
                                                  kDefaultLimits, kDefaultReversal)
                        .back());
  }
  return moves;
}

// One row of the share table: how many were commanded, how old each commanded attitude was when
// its move_abs came (from the sendto of the newest datagram before it that gives this call), and
// the longest time without a command.
void printShareRow(const char* name, int rate, const std::vector<Move>& moves,
                   const std::vector<double>& sent, const std::vector<std::string>& expected) {
  std::vector<double> ages;  // milliseconds
  std::size_t unmatched = 0;
  double longestGap = 0;
  for (std::size_t m = 0; m < moves.size(); ++m) {
    if (m > 0) longestGap = std::max(longestGap, moves[m].time - moves[m - 1].time);
    auto i = static_cast<std::size_t>(std::upper_bound(sent.begin(), sent.end(), moves[m].time) -
                                      sent.begin());
    // Within a second of datagrams back, so that a repeated position is not taken for it.
    const std::size_t oldest = i > static_cast<std::size_t>(rate) ? i - rate : 0;
    while (i > oldest && expected[i - 1] != moves[m].call) --i;
    if (i == oldest) {
      ++unmatched;
    } else {
      ages.push_back((moves[m].time - sent[i - 1]) * 1e3);
    }
  }
  std::sort(ages.begin(), ages.end());
  const std::size_t count = sent.size();
  std::printf("| %s | %d Hz | %.1f %% (%zu/%zu) | %.2f / %.2f / %.2f | %.1f |", name, rate,
              100.0 * static_cast<double>(moves.size()) / static_cast<double>(count), moves.size(),
              count, ages.empty() ? 0.0 : percentile(ages, 0.5),
              ages.empty() ? 0.0 : percentile(ages, 0.99), ages.empty() ? 0.0 : ages.back(),
              longestGap * 1e3);
  if (unmatched > 0) std::printf(" %zu commands match no datagram sent |", unmatched);
  std::printf("\n");
}

// A source sending at a fixed rate, whether or not anyone listens, as a game does: every tick
// goes to both receivers. A datagram the receiver passes over for a newer one queued with it is
// not commanded; the minimal commands every one, late when it falls behind, which the age shows.
bool measureShare(Running& a, Running& b, double seconds) {
  std::printf("| receiver | rate | commanded | age of the commanded attitude, p50 / p99 / worst (ms) "
              "| longest gap (ms) |\n|---|---|---|---|---|\n");
  const std::vector<std::string> expected =
      expectedMoves(static_cast<std::size_t>(seconds * kRates[std::size(kRates) - 1]));
  // The source itself: ticks sent a period or more late come in a burst with the next ones, and
  // a receiver that takes the newest of what is queued commands only the last of a burst.
  std::string sourceLines;
  for (const int rate : kRates) {
    const auto count = static_cast<std::size_t>(seconds * rate);
    a.trace.newMoves();
    b.trace.newMoves();
    std::vector<double> sentA, sentB;  // on the programs' clock
    const double start = platform::monotonicSeconds();
    std::size_t lateTicks = 0;
    double latest = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const double due = start + static_cast<double>(i) / rate;
      bench::sleepUntil(due);
      const double late = platform::monotonicSeconds() - due;
      lateTicks += late * rate >= 1.0;
      latest = std::max(latest, late);
      const std::string text = angleText(i);
      if (i % 2 == 0) {
        sentA.push_back(programNow());
        a.sender.sendNow(text);
        sentB.push_back(programNow());
        b.sender.sendNow(text);
      } else {
        sentB.push_back(programNow());
        b.sender.sendNow(text);
        sentA.push_back(programNow());
        a.sender.sendNow(text);
      }
    }
    std::this_thread::sleep_for(kSettle);
    printShareRow(a.name, rate, a.trace.newMoves(), sentA, expected);
    printShareRow(b.name, rate, b.trace.newMoves(), sentB, expected);
    char line[160];
    std::snprintf(line, sizeof line,
                  "- %d Hz: the source sent %zu of %zu ticks a period or more late (the latest "
                  "%.1f ms)\n",
                  rate, lateTicks, count, latest * 1e3);
    sourceLines += line;
  }
  std::printf("\n%s", sourceLines.c_str());
  return true;
}

double secondsOn(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Sends one datagram to a step program once its socket is bound and empty (the datagram before
// was taken, and the caller waited for it to be commanded), looking once a millisecond; the time
// just before sendto, on gProgramClock (loopback delivers within the call).
std::optional<double> sendWhenEmpty(DatagramSender& sender, std::uint16_t port,
                                    const std::string& text) {
  if (!pollUntil([&] { return boundAndEmpty(port); }, kWaitLimitSeconds, kStepsPollStep)) {
    return std::nullopt;
  }
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
  double sentOn[2] = {};
  if (!sendWhenEmpty(sender, kStepsPort, "0,0")) {
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
  TraceTail trace{dir.file("trace.txt")};
  DatagramSender sender{port};
  std::vector<double> sent;

  StepRun(const char* displayName, std::uint16_t udpPort, std::size_t cycles, const char* path)
      : name(displayName), port(udpPort) {
    std::vector<std::string> command = benchCommand("cycle_steps");
    command.insert(command.end(), {"--port", std::to_string(port), "--cycles",
                                   std::to_string(cycles), "--path", path});
    process = std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        command, dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}}, false});
  }
};

bool reportTurns(StepRun& run, std::size_t cycles);

// One text's turn, from a datagram's arrival (just before sendto) to the program back in its
// wait, step by step as cycle_steps stamps it: the receiver's path and the minimal's. They take
// turns datagram by datagram, and each datagram is commanded (its move_abs line is in the trace)
// before the other program gets one, so that they never run at once.
bool measureTurns(std::size_t cycles) {
  StepRun receiver("the receiver's turn (receiveText, the loop, Ride)", kStepsPort, cycles,
                   "receiver");
  StepRun minimal("the minimal's turn (receiveDatagram, readAngles, planMove)",
                  kStepsMinimalPort, cycles, "minimal");
  for (std::size_t i = 0; i < cycles; ++i) {
    for (StepRun* run : {&receiver, &minimal}) {
      const std::optional<double> at = sendWhenEmpty(run->sender, run->port, angleText(i));
      if (!at) {
        std::fprintf(stderr, "cycle_steps (%s): no empty socket for datagram %zu\n", run->name, i);
        return false;
      }
      run->sent.push_back(*at);
      if (!pollUntil([&] { return !run->trace.newMoves().empty(); }, kWaitLimitSeconds,
                     kStepsPollStep)) {
        std::fprintf(stderr, "cycle_steps (%s): datagram %zu moved nothing\n", run->name, i);
        return false;
      }
    }
  }
  bool ok = reportTurns(receiver, cycles);
  ok = reportTurns(minimal, cycles) && ok;
  return ok;
}

// The share a source sending every 1/rate s would get from turns as long as `turns` (seconds,
// in the order they came): a datagram that arrives during a turn waits in the socket's queue,
// and of those queued when a turn ends only the newest is taken. The wake-up part of each turn
// is counted for queued datagrams too, so this errs low.
double modelShare(const std::vector<double>& turns, int rate) {
  const double period = 1.0 / rate;
  std::size_t taken = 0;
  std::size_t next = 0;  // the next datagram to arrive, its arrival at next * period
  double now = 0.0;
  for (std::size_t k = 0; k < turns.size(); ++k) {
    // Idle: wait for the next arrival. Busy: take the newest arrived by now.
    const auto arrived = static_cast<std::size_t>(std::floor(now / period + 1e-9));
    if (arrived < next) {
      now = static_cast<double>(next) * period;
    } else {
      next = arrived;
    }
    ++taken;
    ++next;
    now += turns[k];
  }
  return static_cast<double>(taken) / static_cast<double>(next);
}

bool reportTurns(StepRun& run, std::size_t cycles) {
  ReceiverProcess& process = *run.process;
  const std::vector<double>& sent = run.sent;
  if (process.waitExit(std::chrono::seconds(static_cast<int>(kWaitLimitSeconds))) != 0) {
    std::fprintf(stderr, "cycle_steps failed: %s\n", process.standardError().c_str());
    return false;
  }
  std::printf("\n%s\n\n", run.name);
  struct Stamps {
    double waiting, taken, checked, returned, parsed, velocityBegin, velocityEnd, moveBegin,
        moveEnd;
  };
  std::vector<Stamps> stamps;
  const std::string output = process.standardOutput();
  for (const char* p = output.c_str(); *p != '\0';) {
    Stamps s{};
    int used = 0;
    if (std::sscanf(p, "%lf %lf %lf %lf %lf %lf %lf %lf %lf\n%n", &s.waiting, &s.taken,
                    &s.checked, &s.returned, &s.parsed, &s.velocityBegin, &s.velocityEnd,
                    &s.moveBegin, &s.moveEnd, &used) != 9 || used == 0) {
      break;
    }
    stamps.push_back(s);
    p += used;
  }
  if (stamps.size() != cycles) {
    std::fprintf(stderr, "cycle_steps gave %zu of %zu stamp lines\n", stamps.size(), cycles);
    return false;
  }
  // Steps in the order the programs pass them; text i's turn ends when the wait for text i+1
  // begins. The minimal path has no check, no rest of receiveText: 0 there.
  const char* names[] = {"the wait and the take, from sendto (receiver: to its check for angles)",
                         "the check for two angles (readAngles, in receiveText)",
                         "the rest of receiveText",
                         "the loop's readAngles",
                         "Ride / planMove without the two calls",
                         "stand-in write_velocity (trace line, fflush)",
                         "stand-in move_abs (trace line, fflush)",
                         "back in the loop, to the next wait"};
  constexpr std::size_t kSteps = std::size(names);
  std::vector<double> steps[kSteps];
  std::vector<double> total;
  for (std::size_t i = 0; i + 1 < cycles; ++i) {
    const Stamps& s = stamps[i];
    const Stamps& next = stamps[i + 1];
    const double values[kSteps] = {
        s.taken - sent[i], s.checked - s.taken, s.returned - s.checked, s.parsed - s.returned,
        (s.velocityBegin - s.parsed) + (s.moveBegin - s.velocityEnd),
        s.velocityEnd - s.velocityBegin, s.moveEnd - s.moveBegin, next.waiting - s.moveEnd};
    for (std::size_t k = 0; k < kSteps; ++k) steps[k].push_back(values[k] * 1e6);
    total.push_back(next.waiting - sent[i]);
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
  std::vector<double> sorted;
  for (const double seconds : total) sorted.push_back(seconds * 1e6);
  row("**turn, arrival -> next wait**", sorted);
  const auto worst = std::max_element(total.begin(), total.end());
  std::size_t overTenMs = 0;
  for (const double seconds : total) overTenMs += seconds > 0.010;
  std::printf("\nthe worst turn was text %zu of %zu; %zu turns over 10 ms\n",
              static_cast<std::size_t>(worst - total.begin()), total.size(), overTenMs);
  std::printf("\n%zu texts\n\n| rate | turns longer than a period | share these turns give |\n"
              "|---|---|---|\n",
              total.size());
  for (const int rate : kRates) {
    std::size_t longer = 0;
    for (const double seconds : total) longer += seconds * rate > 1.0;
    std::printf("| %d Hz | %.1f %% | %.1f %% |\n", rate,
                100.0 * static_cast<double>(longer) / static_cast<double>(total.size()),
                100.0 * modelShare(total, rate));
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

// The 1, 5 and 15 minute load averages: the machine is shared, and the numbers follow its load.
std::string loadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  std::string load1, load5, load15;
  loadavg >> load1 >> load5 >> load15;
  return load1 + " " + load5 + " " + load15;
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
  std::printf("machine: %s, %ld logical CPUs online, %s %s, load average %s\n\n", model.c_str(),
              ::sysconf(_SC_NPROCESSORS_ONLN), system.sysname, system.release,
              loadAverage().c_str());
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--retry-pace-only" || name == "--turns-only") {
      (name == "--retry-pace-only" ? options.retryPaceOnly : options.turnsOnly) = true;
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
                 "[--cycles N] [--retry-seconds S] [--retry-pace-only | --turns-only]\n");
    return 2;
  }
  for (const std::uint16_t port :
       {kReceiverPort, kReferencePort, kStepsPort, kStepsMinimalPort}) {
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
  if (options.turnsOnly) {
    std::printf("one text's turn, step by step (cycle_steps, microseconds), load average %s\n",
                loadAverage().c_str());
    return measureTurns(options.cycles) ? 0 : 1;
  }

  bool ok = true;
  {
    Running receiver("L_BrenikReceiver", receiverCommand(Side::Left), kReceiverPort);
    std::vector<std::string> referenceCommand = benchCommand("reference_receiver");
    referenceCommand.insert(referenceCommand.end(),
                            {"--side", "left", "--port", std::to_string(kReferencePort)});
    Running reference("minimal (reference_receiver)", referenceCommand, kReferencePort);
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

    std::printf("\nlatency, sendto -> move_abs trace line (microseconds), one datagram to each in "
                "turn, load average %s\n\n",
                loadAverage().c_str());
    std::printf("| receiver | samples | median | p99 | worst |\n|---|---|---|---|---|\n");
    ok = ok && measureLatency(receiver, reference, options.samples);

    std::printf("\ndatagrams commanded (move_abs lines / sent), %g s per rate, load average %s\n\n",
                options.rateSeconds, loadAverage().c_str());
    ok = ok && measureShare(receiver, reference, options.rateSeconds);
  }
  std::printf("\nCPU time with the port taken\n\n%s", kCpuTableHead);
  ok = measureTakenPortCpu(receiverCommand(Side::Left), options.idleSeconds) && ok;

  std::printf("\ncontroller-open retries over %g s\n\n%s", options.retrySeconds, kRetryTableHead);
  ok = measureRetryPace(options.retrySeconds) && ok;

  std::printf("\none text's turn, step by step (cycle_steps, microseconds), load average %s\n",
              loadAverage().c_str());
  ok = ok && measureTurns(options.cycles);
  return ok ? 0 : 1;
}
