// The built receivers, run as a person runs them: start-up roads driven through the stand-in
// controller, real datagrams on loopback, and the clean stop, all read back from the trace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "motion/planner.h"
#include "net/angle_message.h"
#include "support/receiver_process.h"

namespace {

using namespace testsupport;

const std::string kBlock(128, 'f');  // the 64-byte parameter block, every byte 0xFF

std::string openCall(const std::string& port, int result) {
  return "init_axcl_config " + port + " 20 3 0 1 " + kBlock + " -> " + std::to_string(result);
}

std::string defaultPort(Side side) { return side == Side::Left ? "COM8" : "COM9"; }

// How long a stop may take: the receiver promises half a second; the emulator adds its own
// process teardown on top.
std::chrono::milliseconds stopAllowance() { return launchedThroughEmulator() ? 3000ms : 500ms; }

// A receiver started in a scratch folder with its trace there.
struct ReceiverRun {
  ScratchDir dir;
  std::string trace = dir.file("trace.txt");
  std::unique_ptr<ReceiverProcess> process;

  ReceiverRun(Side side, std::vector<std::pair<std::string, std::string>> environment = {},
      const std::string& settings = "", bool keepStdinOpen = false) {
    if (!settings.empty()) dir.write("brenik.ini", settings);
    environment.emplace_back("AXCLCOM_TRACE", trace);
    process = std::make_unique<ReceiverProcess>(
        ReceiverProcess::Options{receiverCommand(side), dir.path(), environment, keepStdinOpen});
  }

  std::vector<std::string> calls() const { return traceCalls(trace); }

  // Stops the receiver with `signalNumber` and expects one close_axcl and exit code 0 in time.
  void expectCleanStop(int signalNumber = SIGINT) {
    const auto start = std::chrono::steady_clock::now();
    process->signal(signalNumber);
    const std::optional<int> code = process->waitExit(10s);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(code.has_value()) << "still running after the stop signal";
    EXPECT_EQ(*code, 0);
    EXPECT_LE(took, stopAllowance());
    EXPECT_EQ(countCalls(trace, "close_axcl"), 1u);
    ASSERT_FALSE(calls().empty());
    EXPECT_EQ(calls().back(), "close_axcl");
  }
};

// Commands the receiver should send for `texts`, worked out with the receivers' own reader and
// planner: what the program adds is the receiving, the skipping and the controller calls.
std::vector<std::string> expectedCommands(Side side, const std::vector<std::string>& texts,
                                          motion::MotionLimits limits, int reversal) {
  struct Recorder : motion::ActuatorCommands {
    std::vector<std::string> calls;
    void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
      calls.push_back("write_velocity 0 " + std::to_string(speed) + " " + std::to_string(acceleration));
    }
    void moveAbs(std::int32_t position) override {
      calls.push_back("move_abs 0 " + std::to_string(position));
    }
  } recorder;
  motion::PlannerState state = motion::initialPlannerState(limits);
  const motion::Side planSide = side == Side::Left ? motion::Side::Left : motion::Side::Right;
  for (const std::string& text : texts) {
    if (const auto angles = net::readAngles(text.substr(0, text.find('\0')), reversal)) {
      motion::planAndCommand(angles->pitch, angles->roll, planSide, limits, state, recorder);
    }
  }
  return recorder.calls;
}

std::vector<std::string> callsAfterHoming(const std::vector<std::string>& calls) {
  std::vector<std::string> after;
  bool homed = false;
  for (const std::string& call : calls) {
    if (homed && call != "close_axcl") after.push_back(call);
    homed = homed || call == "move_org 0 7";
  }
  return after;
}

class ProgramTest : public ::testing::TestWithParam<Side> {};

std::string sideName(const ::testing::TestParamInfo<Side>& info) {
  return info.param == Side::Left ? "Left" : "Right";
}

TEST_P(ProgramTest, WithoutSettingsOpensDefaultPortHomesAndStopsCleanly) {
  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  EXPECT_EQ(run.calls(), (std::vector<std::string>{openCall(defaultPort(GetParam()), 1),
                                                   "get_axcl_state -> 4", "move_org 0 7"}));
  run.expectCleanStop(SIGINT);
}

TEST_P(ProgramTest, SigtermStopsCleanlyToo) {
  // The emulator ends a program on SIGTERM without telling it, as Windows would on a kill.
  if (launchedThroughEmulator()) GTEST_SKIP() << "SIGTERM is not a console event on Windows";
  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  run.expectCleanStop(SIGTERM);
}

TEST_P(ProgramTest, SettingsChooseThePortAndTheOtherSidesKeyIsIgnored) {
  const std::string settings =
      "[actuator]\r\nl_com=COM21\r\nr_com=COM22\r\nmaxActuatorSpeed=1000\r\n"
      "maxActuatorAccel=10\r\naxisReversalMode=0\r\n";
  ReceiverRun run(GetParam(), {}, settings);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  EXPECT_EQ(run.calls().front(), openCall(GetParam() == Side::Left ? "COM21" : "COM22", 1));

  // With reversal off and limits 1000/10 the commands follow the settings exactly.
  const std::vector<std::string> texts = {"0,-10", "7.5,3", "7.5,3"};
  DatagramSender sender(receiverPort(GetParam()));
  for (const std::string& text : texts) ASSERT_TRUE(sender.send(text));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", texts.size()));
  EXPECT_EQ(callsAfterHoming(run.calls()),
            expectedCommands(GetParam(), texts, {1000, 10}, 0));
  run.expectCleanStop();
}

TEST_P(ProgramTest, EveryDatagramCommandsTheActuatorAndBadOnesChangeNothing) {
  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  const std::vector<std::string> texts = {
      "0,-10",           // roll 10 after reversal
      "abc",             // no number: skipped
      std::string("\0" "5,5", 4),  // empty text: skipped on the same socket
      "-10,0,extra",     // further fields ignored
      "5",               // one field: skipped
      "1e40,0",          // out of range: skipped
      ",3",              // empty first field: skipped
      "-10,0,extra",     // nothing changed: same commands again
      "nan,inf",         // converts, but outside the working range
      "-20,20",          // at the gates, a target clamps
      std::string(1500, '7'),  // far too large, cut to 1024 bytes: one field
  };
  DatagramSender sender(receiverPort(GetParam()));
  for (const std::string& text : texts) ASSERT_TRUE(sender.send(text)) << "no socket for " << text;
  const std::vector<std::string> expected = expectedCommands(GetParam(), texts, {20000, 33}, 1);
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", expected.size() / 2));
  EXPECT_EQ(callsAfterHoming(run.calls()), expected);
  run.expectCleanStop();
}

TEST_P(ProgramTest, KnownRollGivesTheKnownCommands) {
  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(GetParam()));
  ASSERT_TRUE(sender.send("0,-10"));  // reversal on: roll 10
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 1));
  const std::vector<std::string> expected =
      GetParam() == Side::Left
          ? std::vector<std::string>{"write_velocity 0 20000 33", "move_abs 0 -22132"}
          : std::vector<std::string>{"write_velocity 0 14465 23", "move_abs 0 -9841"};
  EXPECT_EQ(callsAfterHoming(run.calls()), expected);
  run.expectCleanStop();
}

TEST_P(ProgramTest, TakenPortIsReportedOnceCostsNoCpuAndIsPickedUpWhenFree) {
  const std::uint16_t port = receiverPort(GetParam());
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);

  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  ASSERT_TRUE(waitFor([&] { return !run.process->standardError().empty(); }, 10s));
  const auto cpuTicks = [&] {
    std::ifstream stat("/proc/" + std::to_string(run.process->pid()) + "/stat");
    std::string field;
    unsigned long long ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
      if (i == 14 || i == 15) ticks += std::stoull(field);  // utime and stime
    }
    return ticks;
  };
  const unsigned long long before = cpuTicks();
  std::this_thread::sleep_for(2s);
  EXPECT_LE(cpuTicks() - before, 5u) << "CPU used while waiting for the port";  // of 200 ticks

  const std::string said = run.process->standardError();
  EXPECT_NE(said.find(std::to_string(port)), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;

  ::close(holder);
  DatagramSender sender(port);
  ASSERT_TRUE(sender.send("0,-10"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 1));
  const std::string saidLater = run.process->standardError();
  EXPECT_EQ(std::count(saidLater.begin(), saidLater.end(), '\n'), 2) << saidLater;
  run.expectCleanStop();
}

TEST_P(ProgramTest, StopWorksWhileThePortIsTaken) {
  const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(receiverPort(GetParam()));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitFor([&] { return !run.process->standardError().empty(); }, 10s));
  run.expectCleanStop();
  ::close(holder);
}

INSTANTIATE_TEST_SUITE_P(BothSides, ProgramTest, ::testing::Values(Side::Left, Side::Right), sideName);

// Start-up roads, driven by the stand-in's scripted results.
struct StartupRoad {
  const char* name;
  const char* initResults;
  const char* stateResults;
  std::vector<std::string> expectedStart;  // trace before the program settles
  bool ready;                              // homes and runs, or waits on the failure road
};

class StartupTest : public ::testing::TestWithParam<StartupRoad> {};

TEST_P(StartupTest, FollowsTheRoad) {
  const StartupRoad& road = GetParam();
  ReceiverRun run(Side::Left, {{"AXCLCOM_INIT", road.initResults}, {"AXCLCOM_STATE", road.stateResults}},
          "", /*keepStdinOpen=*/true);
  if (road.ready) {
    ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
    EXPECT_EQ(run.calls(), road.expectedStart);
    run.expectCleanStop();
    return;
  }
  // The failure road waits for a key before it closes the controller.
  ASSERT_TRUE(waitFor([&] { return run.calls().size() >= road.expectedStart.size(); }, 10s));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(run.process->running());
  EXPECT_EQ(run.calls(), road.expectedStart);
  run.process->writeStdin("\n");
  const std::optional<int> code = run.process->waitExit(10s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
  std::vector<std::string> expected = road.expectedStart;
  expected.push_back("close_axcl");
  EXPECT_EQ(run.calls(), expected);
}

const std::string kOpened = openCall("COM8", 1);
const std::string kNotOpened = openCall("COM8", 0);

INSTANTIATE_TEST_SUITE_P(
    Roads, StartupTest,
    ::testing::Values(
        StartupRoad{"OpensAtOnce", "1", "4", {kOpened, "get_axcl_state -> 4", "move_org 0 7"}, true},
        StartupRoad{"OpensOnThirdAttempt", "0,0,1", "4",
                    {kNotOpened, "get_axcl_state -> 4", kNotOpened, "get_axcl_state -> 4", kOpened,
                     "get_axcl_state -> 4", "move_org 0 7"},
                    true},
        StartupRoad{"GivesUpOnStateTwoThenReady", "0", "3,2,4",
                    {kNotOpened, "get_axcl_state -> 3", kNotOpened, "get_axcl_state -> 2",
                     "get_axcl_state -> 4", "move_org 0 7"},
                    true},
        StartupRoad{"GivesUpOnStateTwoNotReady", "0", "2,5",
                    {kNotOpened, "get_axcl_state -> 2", "get_axcl_state -> 5"}, false},
        StartupRoad{"OpensButNotReady", "1", "3", {kOpened, "get_axcl_state -> 3"}, false}),
    [](const ::testing::TestParamInfo<StartupRoad>& road) { return road.param.name; });

TEST(StartupFailure, InterruptWhileWaitingForAKeyStillClosesTheController) {
  ReceiverRun run(Side::Right, {{"AXCLCOM_STATE", "3"}}, "", /*keepStdinOpen=*/true);
  ASSERT_TRUE(waitFor([&] { return run.calls().size() >= 2; }, 10s));
  std::this_thread::sleep_for(200ms);
  run.expectCleanStop();
  EXPECT_EQ(run.calls(), (std::vector<std::string>{openCall("COM9", 1), "get_axcl_state -> 3",
                                                   "close_axcl"}));
}

TEST(StartupRetry, PausesFiveMillisecondsBetweenAttemptsAndStopsCleanly) {
  // Neither opens nor gives up: the program retries until it is stopped.
  ReceiverRun run(Side::Right, {{"AXCLCOM_INIT", "0"}, {"AXCLCOM_STATE", "3"}});
  ASSERT_TRUE(waitForCalls(run.trace, "init_axcl_config", 20));
  run.expectCleanStop();
  const std::vector<TraceLine> lines = readTrace(run.trace);
  double previousOpen = -1;
  int opens = 0;
  for (const TraceLine& line : lines) {
    if (line.operation != "init_axcl_config") continue;
    EXPECT_EQ(line.arguments.front(), "COM9");
    if (previousOpen >= 0) {
      EXPECT_GE(line.time - previousOpen, 0.005);
    }
    previousOpen = line.time;
    ++opens;
  }
  EXPECT_GE(opens, 20);
  EXPECT_EQ(countCalls(run.trace, "move_org"), 0u);
}

// Every test here binds or sends to the receivers' fixed ports.
class PortsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { lock_ = std::make_unique<ReceiverPortsLock>(); }
  void TearDown() override { lock_.reset(); }

 private:
  std::unique_ptr<ReceiverPortsLock> lock_;
};

const auto* const kPortsEnvironment = ::testing::AddGlobalTestEnvironment(new PortsEnvironment);

}  // namespace
