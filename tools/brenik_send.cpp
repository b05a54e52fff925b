// brenik-send: a motion source for the bench, sending angle datagrams on a fixed schedule.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/sockets.h"
#include "platform/stop.h"
#include "tools/exit_status.h"
#include "tools/send_options.h"
#include "tools/udp_sending.h"

namespace {

constexpr double kProgressInterval = 0.2;  // seconds between progress lines on a terminal
constexpr std::size_t kReadChunk = 64 * 1024;  // bytes per read of a replay file

constexpr const char* kTool = "brenik-send";

void fail(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kTool, message.c_str()); }

struct Target {
  std::string name;
  bench::UdpEndpoint endpoint;
};

bool resolveTargets(const std::vector<bench::HostPort>& wanted, std::vector<Target>& targets) {
  for (const bench::HostPort& hostPort : wanted) {
    Target target{hostPort.host + ":" + std::to_string(hostPort.port), {}};
    const platform::Result<bench::UdpEndpoint> endpoint =
        bench::resolveIpv4(hostPort.host, hostPort.port);
    if (!endpoint) {
      fail("cannot resolve host '" + hostPort.host + "': " + endpoint.failure().reason);
      return false;
    }
    target.endpoint = *endpoint;
    targets.push_back(target);
  }
  return true;
}

// The replay file's text, at most one byte past the limit: enough to tell that it is too large.
platform::Result<std::string> readReplayText(const std::string& path) {
  platform::Result<platform::InputFile> file = platform::InputFile::open(path);
  if (!file) return file.failure();
  std::string text;
  std::vector<char> chunk(kReadChunk);
  while (text.size() <= bench::kMaxReplayBytes) {
    const std::size_t wanted = std::min(chunk.size(), bench::kMaxReplayBytes + 1 - text.size());
    const platform::Result<std::size_t> got = file->read(chunk.data(), wanted);
    if (!got) return got.failure();
    if (*got == 0) break;
    text.append(chunk.data(), *got);
  }
  return text;
}

// Reads and checks the replay file; kToolDone when it can be played, else the exit status.
int loadReplay(bench::SendOptions& options) {
  const std::string& path = options.replayPath;
  const platform::Result<std::string> text = readReplayText(path);
  if (!text) {
    fail("cannot read replay file '" + path + "': " + text.failure().reason);
    return bench::kToolFailed;
  }
  if (text->size() > bench::kMaxReplayBytes) {
    fail("replay file '" + path + "' is larger than " +
         std::to_string(bench::kMaxReplayBytes >> 20) + " MiB; replay a shorter stretch");
    return bench::kToolBadArguments;
  }
  platform::Result<std::vector<bench::ReplaySample>> rows = bench::parseReplay(*text);
  if (!rows) {
    fail(path + ": " + rows.failure().reason);
    return bench::kToolFailed;
  }
  options.motion.replay = std::move(*rows);
  const double span = bench::replaySpan(options.motion);
  if (!(span <= bench::kMaxDuration)) {
    char why[160];
    std::snprintf(why, sizeof why, "its rows span %g s, more than the %g s (seven days) a run "
                  "may last; replay a shorter stretch", span, bench::kMaxDuration);
    fail(path + ": " + why);
    return bench::kToolBadArguments;
  }
  return bench::kToolDone;
}

void showProgress(long long sent, long long total, double elapsed, double duration, bool last) {
  const double rate = elapsed > 0.0 ? static_cast<double>(sent > 1 ? sent - 1 : 0) / elapsed : 0.0;
  std::fprintf(stderr, "\rbrenik-send: sent %lld/%lld  %.1f Hz  %.1f/%.1f s ", sent, total, rate,
               elapsed, duration);
  if (last) std::fputc('\n', stderr);
  std::fflush(stderr);
}

// Sends one tick's text to every target and logs it; false after a failure was reported.
bool sendTick(platform::SocketHandle socket, const std::vector<Target>& targets,
              const std::string& text, std::FILE* log) {
  const double sentAt = platform::monotonicSeconds();
  for (const Target& target : targets) {
    if (const auto failure = bench::sendDatagram(socket, target.endpoint, text.data(), text.size())) {
      fail("sending to " + target.name + " failed: " + failure->reason);
      return false;
    }
  }
  if (log != nullptr && std::fprintf(log, "%.6f,%s\n", sentAt, text.c_str()) < 0) {
    fail("writing the log failed");
    return false;
  }
  return true;
}

int run(bench::SendOptions& options) {
  if (options.motion.kind == bench::Motion::Kind::Replay) {
    if (const int status = loadReplay(options)) return status;
  }
  const double rate = options.rate;
  // A replay lasts until its last row has been sent.
  const double duration = options.duration ? *options.duration
                                           : bench::replaySpan(options.motion) + 1.0 / rate;
  const long long total = bench::datagramCount(rate, duration);

  if (const auto failure = platform::startSockets()) {
    fail("cannot start the socket library: " + failure->reason);
    return bench::kToolFailed;
  }
  std::vector<Target> targets;
  if (!resolveTargets(options.targets, targets)) {
    platform::stopSockets();
    return bench::kToolFailed;
  }
  const platform::Result<platform::SocketHandle> opened = bench::openUdpSocket();
  if (!opened) {
    fail("cannot open a UDP socket: " + opened.failure().reason);
    platform::stopSockets();
    return bench::kToolFailed;
  }
  const platform::SocketHandle socket = *opened;

  std::FILE* log = nullptr;
  if (!options.logPath.empty()) {
    log = std::fopen(options.logPath.c_str(), "w");
    if (log == nullptr || std::fputs("time,pitch,roll\n", log) < 0) {
      fail("cannot write log file '" + options.logPath + "'");
      if (log != nullptr) std::fclose(log);
      platform::closeSocket(socket);
      platform::stopSockets();
      return bench::kToolFailed;
    }
  }

  const bool progress = !options.quiet && bench::standardErrorIsTerminal();
  platform::installStopHandler();
  int status = bench::kToolDone;
  long long sent = 0;
  const double start = platform::monotonicSeconds();
  double nextProgress = start;
  for (long long tick = 0; tick < total; ++tick) {
    // Deadlines come from the start and the tick number, never from the previous send.
    const double offset = static_cast<double>(tick) / rate;
    bench::sleepUntil(start + offset);
    if (platform::stopRequested()) {
      status = bench::kToolStopped;
      break;
    }
    if (bench::pausedAt(options, offset)) continue;
    const bench::Angles angles = bench::anglesAt(options.motion, offset);
    if (!sendTick(socket, targets, bench::formatAngleMessage(angles.pitch, angles.roll), log)) {
      status = bench::kToolFailed;
      break;
    }
    ++sent;
    const double now = platform::monotonicSeconds();
    if (progress && now >= nextProgress) {
      showProgress(sent, total, now - start, duration, false);
      nextProgress = now + kProgressInterval;
    }
  }
  if (progress) showProgress(sent, total, platform::monotonicSeconds() - start, duration, true);
  if (status == bench::kToolStopped && !progress && !options.quiet) {
    fail("stopped after " + std::to_string(sent) + " of " + std::to_string(total) + " ticks");
  }

  if (log != nullptr && std::fclose(log) != 0 && status == bench::kToolDone) {
    fail("writing the log failed");
    status = bench::kToolFailed;
  }
  platform::closeSocket(socket);
  platform::stopSockets();
  return status;
}

int sendAsAsked(int argc, char** argv) {
  platform::Result<bench::SendCommand> command = bench::parseSendArguments(argc, argv);
  platform::beginStandardOutput();
  if (!command) {
    fail(command.failure().reason + " (try --help)");
    return bench::kToolBadArguments;
  }
  if (const std::optional<int> answered =
          bench::answerHelpOrVersion(kTool, command->asked, bench::kSendUsage, BRENIK_VERSION)) {
    return *answered;
  }
  return run(command->options);
}

}  // namespace

int main(int argc, char** argv) { return platform::keepWindowAfterFailure(sendAsAsked(argc, argv)); }
