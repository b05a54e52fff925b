// The built bench programs: help, refusals, what brenik-send puts on the wire and when, and what
// brenik-relay forwards.
#include <gtest/gtest.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "platform/sockets.h"
#include "support/text_file.h"
#include "tools/send_options.h"
#include "tools/udp_sending.h"

namespace {

using testsupport::lines;
using testsupport::readFile;

std::string toolPath(const std::string& name) {
  return std::string(BRENIK_TOOL_DIR) + "/" + name + BRENIK_EXECUTABLE_SUFFIX;
}

// A file name of its own in the test's working folder, so parallel tests do not collide.
std::string scratchFile(const std::string& suffix) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("bench_") + test->test_suite_name() + "_" + test->name();
  for (char& c : name) {
    if (c == '/') c = '_';  // parameterised tests are named Suite/Test/0
  }
  return name + suffix;
}

struct ToolRun {
  int exitCode;
  std::string out;
  std::string err;
};

// Runs a tool through the shell with its output kept in files, or standard output sent to
// `outputTo`; std::system waits for it.
ToolRun runTool(const std::string& name, const std::string& arguments,
                const std::string& outputTo = "") {
  const std::string out = outputTo.empty() ? scratchFile(".out") : outputTo;
  const std::string err = scratchFile(".err");
  const std::string command =
      "\"" + toolPath(name) + "\" " + arguments + " > \"" + out + "\" 2> \"" + err + "\"";
  // cmd.exe drops the first and last quote of a line that starts with one: give it a pair to drop.
  const bool throughCmd = std::string(BRENIK_EXECUTABLE_SUFFIX) == ".exe";
  // -1 is no tool's status but the shell's own failure: cmd.exe under a Wine server that has just
  // started now and then ends so with nothing written. Every status a tool gives stands.
  constexpr int kShellStarts = 3;
  int status = -1;
  for (int start = 0; start < kShellStarts && status == -1; ++start) {
    if (start > 0) {
      std::fprintf(stderr, "the shell failed (status -1, %s); starting it again\n",
                   errno != 0 ? std::strerror(errno) : "no error number");
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    errno = 0;
    status = std::system((throughCmd ? "\"" + command + "\"" : command).c_str());
  }
  ToolRun run{status, outputTo.empty() ? readFile(out) : "", readFile(err)};
#ifdef WEXITSTATUS
  run.exitCode = WEXITSTATUS(status);
#endif
  if (outputTo.empty()) std::remove(out.c_str());
  std::remove(err.c_str());
  return run;
}

// A loopback socket on a port the system picks, for brenik-send to aim at.
class Listener {
 public:
  Listener() {
    platform::startSockets();
    if (const auto bound = platform::openBoundUdpSocket(0)) socket_ = *bound;
    const platform::Result<std::uint16_t> port = bench::boundPort(socket_);
    port_ = port ? *port : 0;
  }
  ~Listener() {
    platform::closeSocket(socket_);
    platform::stopSockets();
  }
  std::uint16_t port() const { return port_; }
  std::string target() const { return "--to 127.0.0.1:" + std::to_string(port_); }

  struct Arrival {
    std::string text;
    double at;
  };

  // Collects datagrams until `count` arrived or nothing came for `quiet` seconds.
  std::vector<Arrival> receive(std::size_t count, int quietMs = 2000) {
    std::vector<Arrival> got;
    while (got.size() < count) {
      char buffer[256];
      const platform::Result<platform::DatagramLength> received =
          platform::receiveDatagram(socket_, buffer, sizeof buffer - 1, quietMs);
      if (!received || !*received) break;
      buffer[**received] = '\0';
      got.push_back({buffer, platform::monotonicSeconds()});
    }
    return got;
  }

 private:
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::uint16_t port_ = 0;
};

// Sends each text as one datagram to a local port, as a motion program does.
void sendTo(std::uint16_t port, const std::vector<std::string>& datagrams) {
  const platform::Result<platform::SocketHandle> socket = bench::openUdpSocket();
  ASSERT_TRUE(socket) << socket.failure().reason;
  const bench::UdpEndpoint to{{127, 0, 0, 1}, port};
  for (const std::string& text : datagrams) {
    EXPECT_FALSE(bench::sendDatagram(*socket, to, text.data(), text.size()));
  }
  platform::closeSocket(*socket);
}

// A port nothing listens on now, for a program to bind.
std::uint16_t freePort() { return Listener().port(); }

std::vector<std::string> texts(const std::vector<Listener::Arrival>& arrivals) {
  std::vector<std::string> result;
  for (const Listener::Arrival& a : arrivals) result.push_back(a.text);
  return result;
}

class HelpText : public testing::TestWithParam<const char*> {};

TEST_P(HelpText, ExplainsUsageOnStandardOutputAndSucceeds) {
  const ToolRun run = runTool(GetParam(), "--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind(std::string("Usage: ") + GetParam(), 0), 0u) << run.out;
  EXPECT_NE(run.out.find("Exit status"), std::string::npos);
  EXPECT_TRUE(run.err.empty()) << run.err;
}

INSTANTIATE_TEST_SUITE_P(BenchTools, HelpText,
                         testing::Values("brenik-send", "brenik-strokes", "brenik-relay"));

class VersionText : public testing::TestWithParam<const char*> {};

TEST_P(VersionText, NamesTheToolAndItsVersionOnStandardOutput) {
  const ToolRun run = runTool(GetParam(), "--version");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(lines(run.out), std::vector<std::string>{std::string(GetParam()) + " 1.0.0"});
  EXPECT_TRUE(run.err.empty()) << run.err;
}

INSTANTIATE_TEST_SUITE_P(BenchTools, VersionText,
                         testing::Values("brenik-send", "brenik-strokes", "brenik-relay"));

#if !defined(_WIN32)  // /dev/full: every write fails, as on a full disk
TEST(BenchOutput, WhatCannotBeWrittenWholeFailsWithOneLineOnStandardError) {
  Listener listener;
  const struct {
    const char* tool;
    std::string arguments;
    const char* outputTo;
    const char* says;
  } cases[] = {
      {"brenik-strokes", "10 0", "/dev/full", "cannot write the output: No space left on device"},
      // about 900 kB: most of it written before the failure is seen
      {"brenik-strokes", "--pitch-range -20:20:0.01 --roll-range 0:10:1 --csv", "/dev/full",
       "cannot write the output: No space left on device"},
      {"brenik-strokes", "--sent --reversal 0 --pitch-range -1:1:1", "/dev/full",
       "cannot write the output: No space left on device"},
      {"brenik-strokes", "--help", "/dev/full", "cannot write the output: No space left on device"},
      {"brenik-strokes", "--version", "/dev/full",
       "cannot write the output: No space left on device"},
      {"brenik-relay", "--help", "/dev/full", "cannot write the output: No space left on device"},
      {"brenik-send", "--help", "/dev/full", "cannot write the output: No space left on device"},
      {"brenik-send", "--version", "/dev/full", "cannot write the output: No space left on device"},
      {"brenik-send", "--hold 1,1 --duration 0.1 --log /dev/full " + listener.target(),
       nullptr, "writing the log failed"},
  };
  for (const auto& c : cases) {
    const ToolRun run = runTool(c.tool, c.arguments, c.outputTo == nullptr ? "" : c.outputTo);
    EXPECT_EQ(run.exitCode, 1) << c.tool << " " << c.arguments;
    EXPECT_EQ(lines(run.err), std::vector<std::string>{std::string(c.tool) + ": " + c.says})
        << c.tool << " " << c.arguments;
  }
}
#endif

TEST(BenchRefusals, BadArgumentsGiveOneLineOnStandardErrorAndExitTwo) {
  const struct {
    const char* tool;
    const char* arguments;
  } cases[] = {
      {"brenik-send", ""},
      {"brenik-send", "--hold 1"},
      {"brenik-send", "--hold 1,1 --rate fast"},
      {"brenik-send", "--hold 1,1 --to 127.0.0.1:99999"},
      {"brenik-strokes", "10"},
      {"brenik-strokes", "--pitch-range 1:0:1"},
      {"brenik-relay", ""},
      {"brenik-relay", "--degrees --listen 4000 --to localhost:4000"},  // back to itself
  };
  for (const auto& c : cases) {
    const ToolRun run = runTool(c.tool, c.arguments);
    EXPECT_EQ(run.exitCode, 2) << c.tool << " " << c.arguments;
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind(std::string(c.tool) + ": ", 0), 0u) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST(BenchRefusals, AHostThatCannotBeFoundSendsNothing) {
  Listener listener;
  const ToolRun run = runTool("brenik-send", "--hold 1,1 --duration 0.2 " + listener.target() +
                                             " --to no-such-host.invalid:11111");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot resolve host 'no-such-host.invalid'"), std::string::npos) << run.err;
  EXPECT_TRUE(listener.receive(1, 300).empty());
}

TEST(BenchRefusals, AnUnreadableReplayFileSendsNothing) {
  Listener listener;
  const std::string replay = scratchFile(".csv");
  const struct {
    std::string contents;  // written to the scratch file when `path` is empty
    const char* path;
    int exitCode;  // 1 when the file cannot be read, 2 when it is beyond the limits
    const char* mentions;
  } cases[] = {
      {"time,pitch,roll\n0,1,1\n0.5,oops,1\n", nullptr, 1, "line 3"},
      {"", "no-such-replay.csv", 1, "cannot read replay file 'no-such-replay.csv': "},
      {"", ".", 1, "cannot read replay file '.': is a folder"},
      // a device never ends: refused unread (where there is no such device, it is missing)
      {"", "/dev/zero", 1, "cannot read replay file '/dev/zero': "},
      // its tick count overflowed: nothing sent, status 0
      {"0,0,0\n1e17,1,1\n", nullptr, 2, "more than the 604800 s (seven days)"},
      {"0,0,0\n604800.5,1,1\n", nullptr, 2, "more than the 604800 s (seven days)"},
      {std::string(bench::kMaxReplayBytes + 1, '#'), nullptr, 2, "is larger than 8 MiB"},
  };
  for (const auto& c : cases) {
    if (c.path == nullptr) std::ofstream(replay, std::ios::binary) << c.contents;
    const std::string path = c.path == nullptr ? replay : c.path;
    const ToolRun run = runTool("brenik-send", "--replay " + path + " " + listener.target());
    EXPECT_EQ(run.exitCode, c.exitCode) << path;
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("brenik-send: ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(c.mentions), std::string::npos) << run.err;
  }
  std::remove(replay.c_str());
  EXPECT_TRUE(listener.receive(1, 300).empty());
}

TEST(StrokeProgram, PrintsTheKnownTargetsForTenDegreesPitch) {
  const ToolRun run = runTool("brenik-strokes", "10 0");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("after the receivers' reversal"), std::string::npos);
  EXPECT_NE(run.out.find("left          217.862              -21786  L_BrenikReceiver"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("right         217.862              -21786  R_BrenikReceiver"),
            std::string::npos);
  EXPECT_NE(run.out.find("third          93.057"), std::string::npos);
}

TEST(SendProgram, HoldsTheAnglesAtTheRateForTheDuration) {
  Listener listener;
  auto sender = std::async(std::launch::async, [&] {
    return runTool("brenik-send", "--hold 1.5,-2.25 --rate 50 --duration 1 " + listener.target());
  });
  const std::vector<Listener::Arrival> got = listener.receive(60, 1500);
  const ToolRun run = sender.get();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << "progress shown although not on a terminal: " << run.err;
  ASSERT_EQ(got.size(), 50u);
  for (const std::string& text : texts(got)) EXPECT_EQ(text, "1.500,-2.250");
  // 49 periods of 20 ms from the first datagram to the last.
  EXPECT_NEAR(got.back().at - got.front().at, 0.98, 0.08);
}

TEST(SendProgram, KeepsItsScheduleWithoutDriftAndLogsWhatItSent) {
  Listener listener;
  const std::string log = scratchFile(".csv");
  auto sender = std::async(std::launch::async, [&] {
    return runTool("brenik-send", "--sine-pitch 10,1 --sine-roll 5,0.5,90 --rate 1000 "
                                  "--duration 2 --log " + log + " " + listener.target());
  });
  const std::vector<Listener::Arrival> got = listener.receive(3000, 1500);
  const ToolRun run = sender.get();
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const std::vector<std::string> logged = lines(readFile(log));
  std::remove(log.c_str());
  ASSERT_EQ(logged.size(), 2001u);
  EXPECT_EQ(logged[0], "time,pitch,roll");
  EXPECT_EQ(logged[1].substr(logged[1].find(',')), ",0.000,5.000");
  // Ticks come from deadlines fixed at the start: over 1999 periods the last one is on time,
  // where sleeping one period after each send would add the sending time 1999 times.
  const double first = std::stod(logged[1]);
  const double last = std::stod(logged.back());
  EXPECT_NEAR(last - first, 1.999, 0.03);

  // Loopback may drop a datagram under load, but what arrives is what was logged, in order.
  EXPECT_GE(got.size(), 1990u);
  std::size_t next = 1;
  for (const std::string& text : texts(got)) {
    while (next < logged.size() && logged[next].substr(logged[next].find(',') + 1) != text) ++next;
    ASSERT_LT(next, logged.size()) << "received but not logged in this order: " << text;
    ++next;
  }
}

TEST(SendProgram, SendsTheSameTicksToEveryTarget) {
  Listener left;
  Listener right;
  auto sender = std::async(std::launch::async, [&] {
    return runTool("brenik-send", "--step 5,-5 --step-at 0.1 --rate 40 --duration 0.2 " +
                                      left.target() + " " + right.target());
  });
  const std::vector<std::string> expected = {"0.000,0.000", "0.000,0.000", "0.000,0.000",
                                             "0.000,0.000", "5.000,-5.000", "5.000,-5.000",
                                             "5.000,-5.000", "5.000,-5.000"};
  EXPECT_EQ(texts(left.receive(9, 1000)), expected);
  EXPECT_EQ(texts(right.receive(9, 300)), expected);
  EXPECT_EQ(sender.get().exitCode, 0);
}

TEST(SendProgram, ReplaysAFileFromItsFirstRowToItsLast) {
  Listener listener;
  const std::string replay = scratchFile(".csv");
  const std::string rows = "# a recorded stretch\ntime,pitch,roll\n500.0,0,0\n500.4,4,-2\n";
  // The same rows in a file of exactly the largest size allowed play the same.
  for (const std::string& contents :
       {rows, rows + std::string(bench::kMaxReplayBytes - rows.size() - 1, '#') + "\n"}) {
    std::ofstream(replay, std::ios::binary) << contents;
    auto sender = std::async(std::launch::async, [&] {
      return runTool("brenik-send", "--replay " + replay + " --rate 10 " + listener.target());
    });
    const std::vector<std::string> got = texts(listener.receive(6, 1000));
    EXPECT_EQ(sender.get().exitCode, 0) << contents.size();
    EXPECT_EQ(got, (std::vector<std::string>{"0.000,0.000", "1.000,-0.500", "2.000,-1.000",
                                             "3.000,-1.500", "4.000,-2.000"}));
  }
  std::remove(replay.c_str());
}

// A motion program's integers in, the receivers' message out to both, junk counted and dropped.
TEST(RelayProgram, ForwardsWhatItReadsToEveryTargetAndCountsTheRest) {
  Listener left;
  Listener right;
  const std::uint16_t port = freePort();
  auto relay = std::async(std::launch::async, [&] {
    return runTool("brenik-relay", "--bits 8 --status --duration 2 --listen " +
                                       std::to_string(port) + " " + left.target() + " " +
                                       right.target());
  });
  // Ready once a level probe comes through: a start under Wine takes a while.
  const std::string probe = "-0.078,0.078";
  std::vector<std::string> toLeft;
  for (int tries = 0; tries < 100 && toLeft.empty(); ++tries) {
    sendTo(port, {"127,128"});
    toLeft = texts(left.receive(1, 50));
  }
  ASSERT_EQ(toLeft, std::vector<std::string>{probe}) << "the relay never forwarded";
  // 300 bytes whose first 256 read as "0,0": refused whole, not cut and forwarded.
  sendTo(port, {"0,255", "junk", "256,0", "0,0" + std::string(297, ' '), "255,0\r\n"});
  for (const std::string& text : texts(left.receive(100, 500))) toLeft.push_back(text);
  const std::vector<std::string> toRight = texts(right.receive(100, 300));
  EXPECT_EQ(toRight, toLeft);
  while (!toLeft.empty() && toLeft.front() == probe) toLeft.erase(toLeft.begin());
  EXPECT_EQ(toLeft, (std::vector<std::string>{"-20.000,20.000", "20.000,-20.000"}));

  const ToolRun run = relay.get();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  const std::vector<std::string> status = lines(run.out);
  ASSERT_FALSE(status.empty());
  const std::string last = status.back();
  const std::string counted = "brenik-relay: port " + std::to_string(port) + ", " +
                              std::to_string(toRight.size()) + " forwarded, ";
  EXPECT_EQ(last.rfind(counted, 0), 0u) << last;
  const std::string junk = " Hz, 3 unreadable (1 out of range)";
  EXPECT_EQ(last.substr(last.size() - std::min(last.size(), junk.size())), junk) << last;
}

#if !defined(_WIN32)  // a signal, as Ctrl+C is under Wine
TEST(RelayProgram, StopsCleanlyOnCtrlCWithItsLastCount) {
  const std::string port = std::to_string(freePort());
  const std::string out = scratchFile(".out");
  const int status = std::system(("timeout --preserve-status -s INT 0.5 \"" +
                                  toolPath("brenik-relay") + "\" --degrees --status --listen " +
                                  port + " > " + out).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::vector<std::string> status_lines = lines(readFile(out));
  std::remove(out.c_str());
  ASSERT_FALSE(status_lines.empty());
  EXPECT_EQ(status_lines.back(), "brenik-relay: port " + port + ", 0 forwarded, 0 Hz, 0 unreadable");
}
#endif

}  // namespace
