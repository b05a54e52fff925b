// Soak: a receiver takes a long stream of datagrams (valid angles, malformed texts, random
// bytes, oversize datagrams) and must stay up, keep its resident memory flat, and still answer
// a known datagram with exactly the commands the planner gives for it.
//   soak_test [--side left|right] [--datagrams N] [--seconds S]
// The receiver takes the newest of what is queued, so most of a fast stream is never commanded by
// design: the soak counts what was processed but never expects all of it.
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "motion/planner.h"
#include "net/angle_message.h"
#include "support/datagram_sender.h"
#include "support/expected_commands.h"
#include "support/ports_lock.h"
#include "support/process_status.h"
#include "support/receiver_process.h"
#include "support/scratch_dir.h"
#include "support/trace.h"

#if defined(__SANITIZE_ADDRESS__)
#define BRENIK_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRENIK_SOAK_ASAN 1
#endif
#endif

namespace {

using namespace testsupport;
using namespace std::string_literals;

constexpr std::size_t kOversizeMin = 1025;  // beyond the receive size
constexpr std::size_t kOversizeMax = 8 * 1024;
constexpr std::uint32_t kStreamSeed = 20240613;
// Share of the stream after which resident memory is taken as warmed up.
constexpr double kWarmUpShare = 0.2;
// Resident memory may grow this much between warm-up and end: allocator rounding, not a leak.
constexpr long kRssToleranceKb = 1024;
constexpr auto kSettle = 500ms;  // the stream has stopped; any last datagram is processed by then

struct Options {
  Side side = Side::Left;
  std::size_t datagrams = 100000;
  double seconds = 10.0;
};

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--side" && (value == "left" || value == "right")) {
      options.side = value == "left" ? Side::Left : Side::Right;
    } else if (name == "--datagrams") {
      options.datagrams = std::strtoul(value.c_str(), nullptr, 10);
    } else if (name == "--seconds") {
      options.seconds = std::strtod(value.c_str(), nullptr);
    } else {
      return false;
    }
  }
  // Two minutes at most: the soak is meant to be run often.
  return argc % 2 == 1 && options.datagrams > 0 && options.seconds > 0 && options.seconds <= 110;
}

// One datagram of the stream: a mix of what a motion source sends and what it should not.
class Stream {
 public:
  std::string next() {
    switch (pick(0, 9)) {
      case 0: case 1: case 2: case 3:
        return angle() + "," + angle() + (pick(0, 1) ? ",7,x" : "");
      case 4: {
        // Texts that cannot give two angles or give odd ones; a few hold a zero byte on purpose.
        static const std::string kMalformed[] = {
            "", ",", ",,", "5", "1,", ",5", "abc,def", "1e40,0", "0,1e40", "nan,inf", "-inf,nan",
            "0x1p3,-0x1p-2", "  7, 8", "3deg,4deg", "\0,1"s, "1,\0" "2"s, "\xff\xfe,1"};
        return kMalformed[pick(0, std::size(kMalformed) - 1)];
      }
      case 5: case 6:
        return bytes(pick(1, 1024));
      case 7:
        return bytes(pick(kOversizeMin, kOversizeMax));
      case 8: {
        // Valid angles followed by padding far past the receive size: the cut keeps the angles.
        std::string text = angle() + "," + angle() + ",";
        text.append(pick(kOversizeMin, kOversizeMax) - text.size(), '9');
        return text;
      }
      default:
        return std::string(pick(1, 64), ',');
    }
  }

 private:
  std::size_t pick(std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random_);
  }
  std::string angle() {
    return std::to_string(std::uniform_real_distribution<double>(-30.0, 30.0)(random_));
  }
  std::string bytes(std::size_t count) {
    std::string text(count, '\0');
    for (char& c : text) c = static_cast<char>(pick(0, 255));
    return text;
  }

  std::mt19937 random_{kStreamSeed};
};

// The last write_velocity and move_abs the planner gives for `texts` from rest.
std::vector<std::string> lastCommands(Side side, const std::vector<std::string>& texts,
                                      const app::Settings& settings) {
  const std::vector<std::string> calls =
      expectedCommands(side, texts, settings.limits, settings.reversal);
  return {calls.end() - 2, calls.end()};
}

// Trace lines written after `offset` bytes, as "operation arguments" strings; the offset moves on.
std::vector<std::string> newCalls(const std::string& tracePath, std::streamoff& offset) {
  std::ifstream file(tracePath, std::ios::binary);
  file.seekg(offset);
  std::vector<std::string> calls;
  for (std::string line; std::getline(file, line) && file.good();) {
    offset += static_cast<std::streamoff>(line.size()) + 1;
    const std::size_t space = line.find(' ');  // after the time stamp
    calls.push_back(space == std::string::npos ? line : line.substr(space + 1));
  }
  return calls;
}

// Sends `text` once the receiver has taken what came before and waits for its move_abs; the
// commands it caused.
std::optional<std::vector<std::string>> sendKnown(DatagramSender& sender, const std::string& text,
                                                  const std::string& tracePath,
                                                  std::streamoff& offset) {
  newCalls(tracePath, offset);
  if (!sender.send(text)) return std::nullopt;
  std::vector<std::string> calls;
  const bool moved = waitFor(
      [&] {
        for (std::string& call : newCalls(tracePath, offset)) calls.push_back(std::move(call));
        return !calls.empty() && calls.back().rfind("move_abs", 0) == 0;
      },
      10s, 1ms);
  if (!moved) return std::nullopt;
  return calls;
}

int fail(const char* what) {
  std::fflush(stdout);
  std::fprintf(stderr, "soak failed: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: soak_test [--side left|right] [--datagrams N] [--seconds S<=110]\n");
    return 2;
  }

  ScratchDir dir;
  dir.write("brenik.ini", "");  // the defaults, with no word about a missing file
  const std::string tracePath = dir.file("trace.txt");
  std::vector<std::pair<std::string, std::string>> environment{{"AXCLCOM_TRACE", tracePath}};
#ifdef BRENIK_SOAK_ASAN
  // Freed memory is held back for use-after-free checks; a small hold keeps memory comparable.
  const char* inherited = std::getenv("ASAN_OPTIONS");
  environment.emplace_back("ASAN_OPTIONS",
                           std::string(inherited ? inherited : "") +
                               ":quarantine_size_mb=1:thread_local_quarantine_size_kb=64");
#endif
  if (findBoundUdpSocket(receiverPort(options.side))) {
    return fail("the receiver's UDP port is already in use by another program");
  }
  ReceiverProcess receiver(
      ReceiverProcess::Options{receiverCommand(options.side), dir.path(), environment, false});
  DatagramSender sender(receiverPort(options.side));
  if (!waitFor([&] { return findBoundUdpSocket(receiverPort(options.side)).has_value(); }, 10s))
    return fail("the receiver never bound its port");

  Stream stream;
  const auto start = std::chrono::steady_clock::now();
  const auto pace =
      std::chrono::duration<double>(options.seconds / static_cast<double>(options.datagrams));
  const std::size_t warmUpAt =
      static_cast<std::size_t>(static_cast<double>(options.datagrams) * kWarmUpShare);
  long warmUpKb = 0;
  long peakKb = 0;
  for (std::size_t i = 0; i < options.datagrams; ++i) {
    const auto due = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                 pace * static_cast<double>(i));
    if (due > std::chrono::steady_clock::now()) std::this_thread::sleep_until(due);
    sender.sendNow(stream.next());
    if (i % 1000 == 0 || i == warmUpAt) {
      const std::optional<long> kb = statusKb(receiver.pid(), "VmRSS");
      if (!kb || !receiver.running()) return fail("the receiver went down during the stream");
      if (i == warmUpAt) warmUpKb = *kb;
      if (*kb > peakKb) peakKb = *kb;
    }
  }
  const double streamSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::this_thread::sleep_for(kSettle);
  if (!receiver.running()) return fail("the receiver went down after the stream");
  const std::optional<long> endKb = statusKb(receiver.pid(), "VmRSS");
  if (!endKb) return fail("no resident memory figure at the end");

  std::streamoff offset = 0;
  const std::size_t processed = countCalls(tracePath, "move_abs");

  // A rest datagram first, so the known one starts from the rest state whatever came before.
  const app::Settings settings =
      app::readSettings(app::profileFor(options.side), dir.file("brenik.ini").c_str());
  const std::vector<std::string> known{"0,0", "0,-10"};
  if (!sendKnown(sender, known[0], tracePath, offset))
    return fail("the rest datagram moved nothing");
  const auto calls = sendKnown(sender, known[1], tracePath, offset);
  if (!calls) return fail("the known datagram moved nothing");
  const std::vector<std::string> expected = lastCommands(options.side, known, settings);

  std::printf("datagrams sent: %zu in %.1f s; processed (move_abs lines): %zu\n", options.datagrams,
              streamSeconds, processed);
  std::printf("resident memory: %ld kB after warm-up, %ld kB peak, %ld kB at the end\n", warmUpKb,
              peakKb, *endKb);
  std::printf("known datagram \"%s\": %s | %s (expected %s | %s)\n", known[1].c_str(),
              calls->front().c_str(), calls->back().c_str(), expected[0].c_str(),
              expected[1].c_str());

  int failures = 0;
  if (*calls != expected) failures += fail("the known datagram gave other commands");
  if (*endKb - warmUpKb > kRssToleranceKb) failures += fail("resident memory grew");
  if (processed == 0) failures += fail("not one datagram of the stream was processed");

  receiver.signal(SIGINT);
  const std::optional<int> code = receiver.waitExit(10s);
  if (!code || *code != 0) failures += fail("the receiver did not stop cleanly");
  if (!receiver.standardError().empty()) {
    std::fprintf(stderr, "%s", receiver.standardError().c_str());
    failures += fail("the receiver wrote to standard error (another program on its port?)");
  }
  return failures == 0 ? 0 : 1;
}
