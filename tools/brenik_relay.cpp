// brenik-relay: takes what a motion program sends on one port and sends each receiver the angle
// message it reads, for programs that write integers, decimal commas or to one address only.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "app/output_channel.h"
#include "app/status_line.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/sockets.h"
#include "platform/stop.h"
#include "tools/exit_status.h"
#include "tools/relay_conversion.h"
#include "tools/relay_options.h"
#include "tools/udp_sending.h"

namespace {

constexpr const char* kTool = "brenik-relay";
constexpr int kReceiveSliceMs = 100;  // the longest a stop, a report or the end waits
constexpr double kReportSeconds = 1.0;
constexpr double kRetrySeconds = 1.0;
// A motion program's burst while the relay is not scheduled waits here rather than being lost.
constexpr std::size_t kReceiveQueueBytes = std::size_t{1} << 20;

void fail(const std::string& message) { std::fprintf(stderr, "%s: %s\n", kTool, message.c_str()); }

struct Target {
  std::string name;
  bench::UdpEndpoint endpoint;
  bool failing = false;  // said once, until a send works again
};

struct Counts {
  std::uint64_t forwarded = 0;
  std::uint64_t unreadable = 0;  // out of range ones among them
  std::uint64_t outOfRange = 0;
};

// "brenik-relay: port 33333, 1200 forwarded, 100 Hz, 3 unreadable (1 out of range)".
std::string statusText(const bench::RelayOptions& options, const Counts& counts, double hertz) {
  const std::string rate = std::to_string(std::llround(hertz));
  std::string text = std::string(kTool) + ": port " + std::to_string(options.listenPort) + ", " +
                     std::to_string(counts.forwarded) + " forwarded, " + rate + " Hz, " +
                     std::to_string(counts.unreadable) + " unreadable";
  if (options.form.numbers == bench::RelayForm::Numbers::Integers) {
    text += " (" + std::to_string(counts.outOfRange) + " out of range)";
  }
  return text;
}

// The status line about once a second, in place on a console, a line each time otherwise.
class RelayStatus {
 public:
  RelayStatus(const bench::RelayOptions& options, app::OutputChannel& output)
      : options_(options), output_(output), inPlace_(platform::standardOutputIsTerminal()) {}

  double nextReport() const {
    return options_.status ? nextReport_ : std::numeric_limits<double>::infinity();
  }

  // The last report, at the end, gives the rate over the whole run.
  void report(const Counts& counts, double now, bool last) {
    if (!options_.status) return;
    const double elapsed = now - (last ? start_ : lastReport_);
    const std::uint64_t forwarded = counts.forwarded - (last ? 0 : forwardedBefore_);
    const double hertz = elapsed > 0.0 ? static_cast<double>(forwarded) / elapsed : 0.0;
    forwardedBefore_ = counts.forwarded;
    lastReport_ = now;
    nextReport_ = now + kReportSeconds;
    std::string line = statusText(options_, counts, hertz);
    if (inPlace_) {
      line.resize(std::max(line.size(), app::kStatusColumns), ' ');
      line = "\r" + line + (last ? "\n" : "");
    } else {
      line += "\n";
    }
    output_.report(std::move(line), last);
  }

 private:
  const bench::RelayOptions& options_;
  app::OutputChannel& output_;
  bool inPlace_;
  double nextReport_ = 0.0;
  double start_ = platform::monotonicSeconds();
  double lastReport_ = start_;
  std::uint64_t forwardedBefore_ = 0;
};

// Finds every target; kToolDone, or the exit status after saying why.
int resolveTargets(const bench::RelayOptions& options, std::vector<Target>& targets) {
  for (const bench::HostPort& hostPort : options.targets) {
    const std::string name = hostPort.host + ":" + std::to_string(hostPort.port);
    const platform::Result<bench::UdpEndpoint> endpoint =
        bench::resolveIpv4(hostPort.host, hostPort.port);
    if (!endpoint) {
      fail("cannot resolve host '" + hostPort.host + "': " + endpoint.failure().reason);
      return bench::kToolFailed;
    }
    const bool thisPc = endpoint->address[0] == 127 ||
                        (endpoint->address[0] == 0 && endpoint->address[1] == 0 &&
                         endpoint->address[2] == 0 && endpoint->address[3] == 0);
    if (thisPc && hostPort.port == options.listenPort) {
      fail("--to " + name + " is the port it listens on: every datagram would come back to it; "
           "give --listen another port (try --help)");
      return bench::kToolBadArguments;
    }
    targets.push_back({name, *endpoint});
  }
  return bench::kToolDone;
}

void forward(platform::SocketHandle socket, std::vector<Target>& targets, const std::string& text,
             app::RunOutput& output) {
  for (Target& target : targets) {
    const auto failure = bench::sendDatagram(socket, target.endpoint, text.data(), text.size());
    if (failure && !target.failing) {
      output.say("sending to " + target.name + " fails: " + failure->reason +
                 "; going on, the next datagram tries again");
    } else if (!failure && target.failing) {
      output.say("sending to " + target.name + " works again");
    }
    target.failing = failure.has_value();
  }
}

int relay(const bench::RelayOptions& options, platform::SocketHandle listening,
          platform::SocketHandle sending, std::vector<Target>& targets) {
  platform::installStopHandler();
  app::RunOutput output(kTool);
  RelayStatus status(options, output.status());
  Counts counts;
  const double start = platform::monotonicSeconds();
  const double end = options.duration ? start + *options.duration
                                      : std::numeric_limits<double>::infinity();
  // One byte more than a datagram may hold tells a longer one, which the system cuts to it.
  std::vector<char> buffer(bench::kMaxRelayDatagram + 1);
  bool receiveFailing = false;
  for (double now = start; !platform::stopRequested() && now < end;
       now = platform::monotonicSeconds()) {
    if (now >= status.nextReport()) status.report(counts, now, false);
    const double wait = std::min({status.nextReport(), end, now + kReceiveSliceMs / 1000.0}) - now;
    const int waitMs = static_cast<int>(std::ceil(std::max(wait, 0.0) * 1000.0));
    const platform::Result<platform::DatagramLength> received =
        platform::receiveDatagram(listening, buffer.data(), buffer.size(), waitMs);
    if (!received) {
      if (!receiveFailing) {
        output.say("receiving on UDP port " + std::to_string(options.listenPort) + " fails: " +
                   received.failure().reason + "; trying again every second");
      }
      receiveFailing = true;
      bench::sleepUntil(std::min(end, now + kRetrySeconds));
      continue;
    }
    receiveFailing = false;
    if (!*received) continue;
    const auto angles =
        bench::readRelayDatagram(std::string_view(buffer.data(), **received), options.form);
    if (!angles) {
      ++counts.unreadable;
      if (angles.failure().outOfRange) ++counts.outOfRange;
      continue;
    }
    forward(sending, targets, bench::relayMessage(*angles), output);
    ++counts.forwarded;
  }
  status.report(counts, platform::monotonicSeconds(), true);
  return bench::kToolDone;
}

int run(const bench::RelayOptions& options) {
  if (const auto failure = platform::startSockets()) {
    fail("cannot start the socket library: " + failure->reason);
    return bench::kToolFailed;
  }
  std::vector<Target> targets;
  int status = resolveTargets(options, targets);
  if (status != bench::kToolDone) {
    platform::stopSockets();
    return status;
  }
  const std::string port = std::to_string(options.listenPort);
  const auto listening = platform::openBoundUdpSocket(options.listenPort);
  if (!listening) {
    fail(listening.failure().taken
             ? "UDP port " + port + " is taken by another program, perhaps another relay; close "
               "it, or listen on another port with --listen"
             : "cannot use UDP port " + port + ": " + listening.failure().reason);
    platform::stopSockets();
    return bench::kToolFailed;
  }
  platform::growReceiveBuffer(*listening, kReceiveQueueBytes);
  const platform::Result<platform::SocketHandle> sending = bench::openUdpSocket();
  if (!sending) {
    fail("cannot open a UDP socket: " + sending.failure().reason);
    status = bench::kToolFailed;
  } else {
    status = relay(options, *listening, *sending, targets);
    platform::closeSocket(*sending);
  }
  platform::closeSocket(*listening);
  platform::stopSockets();
  return status;
}

int relayAsAsked(int argc, char** argv) {
  const platform::Result<bench::RelayCommand> command = bench::parseRelayArguments(argc, argv);
  platform::beginStandardOutput();
  if (!command) {
    fail(command.failure().reason + " (try --help)");
    return bench::kToolBadArguments;
  }
  if (const std::optional<int> answered =
          bench::answerHelpOrVersion(kTool, command->asked, bench::kRelayUsage, BRENIK_VERSION)) {
    return *answered;
  }
  return run(command->options);
}

}  // namespace

int main(int argc, char** argv) {
  return platform::keepWindowAfterFailure(relayAsAsked(argc, argv));
}
