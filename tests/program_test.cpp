// The built receivers, run as a person runs them: start-up roads driven through the stand-in
// controller, real datagrams on loopback, and the clean stop, all read back from the trace.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/side_profile.h"
#include "motion/planner.h"
#include "motion/ride.h"
#include "net/angle_message.h"
#include "support/datagram_sender.h"
#include "support/expected_commands.h"
#include "support/ports_lock.h"
#include "support/process_status.h"
#include "support/receiver_process.h"
#include "support/scratch_dir.h"
#include "support/text_file.h"
#include "support/trace.h"

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

  // `makeSettings`, when given, makes the settings file in place of writing `settings`.
  ReceiverRun(Side side, std::vector<std::pair<std::string, std::string>> environment = {},
      const std::string& settings = "", bool keepStdinOpen = false,
      void (*makeSettings)(const std::string& path) = nullptr,
      std::vector<std::string> command = {}, bool closeStdinAndStderr = false,
      const std::string& standardOutputTo = "") {
    // A settings file, empty unless given, so that the receiver has no missing file to mention.
    if (makeSettings != nullptr) {
      makeSettings(dir.file("brenik.ini"));
    } else {
      dir.write("brenik.ini", settings);
    }
    environment.emplace_back("AXCLCOM_TRACE", trace);
    if (command.empty()) command = receiverCommand(side);
    process = std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        command, dir.path(), environment, keepStdinOpen, closeStdinAndStderr, standardOutputTo});
  }

  std::vector<std::string> calls() const { return traceCalls(trace); }

  // Stops the receiver with `signalNumber` and expects exit `status` in time (a controller call
  // in progress, `busy`, is waited for), the controller closed once as its last call if it was
  // ever opened.
  void expectCleanStop(int signalNumber = SIGINT, int status = 0,
                       std::chrono::milliseconds busy = 0ms) {
    const bool opened = !calls().empty() || busy > 0ms;
    const auto start = std::chrono::steady_clock::now();
    process->signal(signalNumber);
    const std::optional<int> code = process->waitExit(10s);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(code.has_value()) << "still running after the stop signal";
    EXPECT_EQ(*code, status) << "standard error: " << process->standardError();
    EXPECT_LE(took, stopAllowance() + busy);
    EXPECT_EQ(countCalls(trace, "close_axcl"), opened ? 1u : 0u);
    if (opened) {
      ASSERT_FALSE(calls().empty()) << "the receiver ended without a controller call";
      EXPECT_EQ(calls().back(), "close_axcl");
    }
  }
};

std::vector<std::string> callsAfterHoming(const std::vector<std::string>& calls) {
  std::vector<std::string> after;
  bool homed = false;
  for (const std::string& call : calls) {
    if (homed && call != "close_axcl") after.push_back(call);
    homed = homed || call == "move_org 0 7";
  }
  return after;
}

// The moves `left` or `right` as the stand-in's trace spells them.
std::vector<std::string> traced(Side side, const std::vector<motion::Move>& left,
                                const std::vector<motion::Move>& right) {
  std::vector<std::string> calls;
  for (const motion::Move& move : side == Side::Left ? left : right) {
    calls.push_back("write_velocity 0 " + std::to_string(move.speed) + " " +
                    std::to_string(move.acceleration));
    calls.push_back("move_abs 0 " + std::to_string(move.position));
  }
  return calls;
}

class ProgramTest : public ::testing::TestWithParam<Side> {};

std::string sideName(const ::testing::TestParamInfo<Side>& info) {
  return info.param == Side::Left ? "Left" : "Right";
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
            traced(GetParam(), {{723, 7, -9841}, {1000, 10, -21906}, {1000, 10, -21906}},
                   {{1000, 10, -22132}, {325, 3, -18201}, {325, 3, -18201}}));
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
  const std::vector<std::string> expected =
      traced(GetParam(),
             {{20000, 33, -22132}, {579, 0, -21786}, {579, 0, -21786}, {20000, 33, -15000},
              {9225, 15, -21918}},
             {{14465, 23, -9841}, {20000, 33, -21786}, {20000, 33, -21786}, {20000, 33, -15000},
              {20000, 33, -30000}});
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

// What anyone may have made at the path where the left's one-copy lock file once was.
enum class Planted { Nothing, Folder, Symlink, Fifo, HardLink };

// Plants it for as long as it lives, with what was there put aside meanwhile and back after; a
// symlink and a hard link lead to a file of "another user" beside it, mode 0600.
class PlantedAtOldLockPath {
 public:
  static constexpr const char* kPath = "/tmp/BrenikReceiver-left.lock";

  explicit PlantedAtOldLockPath(Planted planted)
      : planted_(planted),
        target_(std::string(kPath) + ".theirs-" + std::to_string(::getpid())),
        aside_(std::string(kPath) + ".aside-" + std::to_string(::getpid())) {
    if (planted_ == Planted::Nothing) return;
    putAside_ = ::rename(kPath, aside_.c_str()) == 0;
    std::ofstream(target_) << "theirs\n";
    ::chmod(target_.c_str(), 0600);
    switch (planted_) {
      case Planted::Nothing: break;
      case Planted::Folder: made_ = ::mkdir(kPath, 0755) == 0; break;
      case Planted::Symlink: made_ = ::symlink(target_.c_str(), kPath) == 0; break;
      case Planted::Fifo: made_ = ::mkfifo(kPath, 0644) == 0; break;
      case Planted::HardLink: made_ = ::link(target_.c_str(), kPath) == 0; break;
    }
  }
  ~PlantedAtOldLockPath() {
    if (planted_ == Planted::Nothing) return;
    if (made_ && planted_ == Planted::Folder) {
      ::rmdir(kPath);
    } else if (made_) {
      ::unlink(kPath);
    }
    ::unlink(target_.c_str());
    if (putAside_) ::rename(aside_.c_str(), kPath);
  }
  PlantedAtOldLockPath(const PlantedAtOldLockPath&) = delete;
  PlantedAtOldLockPath& operator=(const PlantedAtOldLockPath&) = delete;

  bool made() const { return planted_ == Planted::Nothing || made_; }
  // The mode of the file a link leads to, which nothing may change.
  mode_t targetMode() const {
    struct stat info{};
    return ::stat(target_.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
  }

 private:
  Planted planted_;
  std::string target_;
  std::string aside_;
  bool putAside_ = false;
  bool made_ = false;
};

struct OneCopyCase {
  const char* name;
  Side side;
  Planted planted;
};

void PrintTo(const OneCopyCase& c, std::ostream* out) { *out << c.name; }

class OneCopy : public ::testing::TestWithParam<OneCopyCase> {};

// Whatever sits at the old lock path, nothing hangs and one copy of a side rides: the second
// says so and ends with status 4, having touched nothing.
TEST_P(OneCopy, SecondCopyStartedMidRunTouchesNothingAndTheFirstRidesOn) {
  const Side side = GetParam().side;
  const PlantedAtOldLockPath planted(GetParam().planted);
  ASSERT_TRUE(planted.made()) << "cannot plant at " << PlantedAtOldLockPath::kPath;
  // Calls of a few milliseconds, as a serial controller's, leave the port unbound much of the
  // time: only the one-copy lock can keep the second copy out.
  const std::pair<std::string, std::string> slowCalls{"AXCLCOM_DELAY_MS", "3"};
  ReceiverRun first(side, {slowCalls});
  ASSERT_TRUE(waitForCalls(first.trace, "move_org", 1));
  std::atomic<bool> streaming{true};
  std::thread source([&] {
    DatagramSender sender(receiverPort(side));
    for (int i = 0; streaming; ++i) {
      sender.sendNow(i % 2 == 0 ? "5,0" : "0,5");
      std::this_thread::sleep_for(10ms);
    }
  });
  ScratchDir elsewhere;  // another folder: still the same actuator
  ReceiverProcess second({receiverCommand(side), elsewhere.path(),
                          {slowCalls, {"AXCLCOM_TRACE", elsewhere.file("trace.txt")}}});
  const std::optional<int> code = second.waitExit(10s);
  std::this_thread::sleep_for(300ms);  // the first rides on meanwhile
  streaming = false;
  source.join();
  ASSERT_TRUE(code.has_value()) << "the second copy is still running";
  EXPECT_EQ(*code, 4);
  const app::SideProfile& profile = app::profileFor(side);
  EXPECT_EQ(lines(second.standardError()),
            std::vector<std::string>{std::string(profile.programName) +
                                     ": another copy already drives the " + profile.sideName +
                                     " actuator; this one touches nothing and ends (use that one, "
                                     "or close it first)"});
  EXPECT_FALSE(std::filesystem::exists(elsewhere.file("trace.txt")))
      << readFile(elsewhere.file("trace.txt"));

  // Every move of the first is a whole pair, and a known datagram still gives its commands.
  std::this_thread::sleep_for(100ms);
  DatagramSender sender(receiverPort(side));
  ASSERT_TRUE(sender.send("0,-10"));
  ASSERT_TRUE(waitFor([&] { return callsAfterHoming(first.calls()).size() >= 2 &&
                                   callsAfterHoming(first.calls()).back() ==
                                       (side == Side::Left ? "move_abs 0 -22132"
                                                                 : "move_abs 0 -9841"); }, 10s));
  const std::vector<std::string> moves = callsAfterHoming(first.calls());
  for (std::size_t i = 0; i < moves.size(); ++i) {
    EXPECT_EQ(moves[i].rfind(i % 2 == 0 ? "write_velocity 0 " : "move_abs 0 ", 0), 0u) << moves[i];
  }
  EXPECT_EQ(first.process->standardError(), "");
  first.expectCleanStop();
  if (GetParam().planted != Planted::Nothing) {
    EXPECT_EQ(planted.targetMode(), 0600u) << "the mode of a file the old lock path led to";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Locks, OneCopy,
    ::testing::Values(OneCopyCase{"Left", Side::Left, Planted::Nothing},
                      OneCopyCase{"Right", Side::Right, Planted::Nothing},
                      OneCopyCase{"LeftWithAFolderAtTheOldPath", Side::Left, Planted::Folder},
                      OneCopyCase{"LeftWithASymlinkAtTheOldPath", Side::Left, Planted::Symlink},
                      OneCopyCase{"LeftWithAFifoAtTheOldPath", Side::Left, Planted::Fifo},
                      OneCopyCase{"LeftWithAHardLinkAtTheOldPath", Side::Left, Planted::HardLink}),
    [](const ::testing::TestParamInfo<OneCopyCase>& c) { return c.param.name; });

// A lock the system refuses for another reason than another copy (here: no file descriptor left
// for it) ends the receiver with a line of its own and status 6, before it touches anything.
TEST(OneCopyLock, ThatTheSystemRefusesEndsTheReceiverWithStatusSixTouchingNothing) {
  if (launchedThroughEmulator()) GTEST_SKIP() << "Wine itself needs more files";
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizers' runtime needs more files than three";
#endif
  ScratchDir dir;
  ReceiverProcess process({receiverCommand(Side::Left), dir.path(),
                           {{"AXCLCOM_TRACE", dir.file("trace.txt")}}, false, false, "",
                           /*onlyStandardStreamFiles=*/true});
  const std::optional<int> code = process.waitExit(10s);
  ASSERT_TRUE(code.has_value()) << "still running";
  EXPECT_EQ(*code, 6);
  const std::vector<std::string> said = lines(process.standardError());
  ASSERT_EQ(said.size(), 1u) << process.standardError();
  const std::string begins =
      "L_BrenikReceiver: cannot make sure that no other copy drives the left actuator (";
  const std::string ends = "Too many open files); this one touches nothing and ends (put that "
                           "right, then start it again)";
  EXPECT_EQ(said[0].substr(0, begins.size()), begins) << said[0];
  EXPECT_GE(said[0].size(), begins.size() + ends.size()) << said[0];
  EXPECT_EQ(said[0].substr(said[0].size() - std::min(said[0].size(), ends.size())), ends) << said[0];
  EXPECT_FALSE(std::filesystem::exists(dir.file("trace.txt"))) << readFile(dir.file("trace.txt"));
}

// The ride's safety rules, both receivers fed one datagram twice: a gentle first move, both
// sides levelled together once the angles stop, the ramp again when they resume, and on a stop
// the seat levelled and waited for before closing (cut short by a second stop on the left).
// Every level move goes at exactly the gentle limits, and no move at a 0 speed or acceleration.
struct RideSafetyCase {
  const char* name;
  std::string settings;  // the text of brenik.ini
  std::string text;      // the datagram sent, twice
  double idleLevelSeconds;
  std::vector<std::string> left;  // what each side commands after homing
  std::vector<std::string> right;
};

void PrintTo(const RideSafetyCase& c, std::ostream* out) { *out << c.name; }

class RideSafety : public ::testing::TestWithParam<RideSafetyCase> {};

TEST_P(RideSafety, BothSidesLevelTogetherRampAgainAndLevelBeforeClosing) {
  const RideSafetyCase& ride = GetParam();
  ReceiverRun left(Side::Left, {}, ride.settings);
  ReceiverRun right(Side::Right, {}, ride.settings);
  ReceiverRun* const runs[] = {&left, &right};
  for (ReceiverRun* run : runs) ASSERT_TRUE(waitForCalls(run->trace, "move_org", 1));
  DatagramSender toLeft(receiverPort(Side::Left));
  DatagramSender toRight(receiverPort(Side::Right));
  const auto sendBoth = [&](const std::string& text) {
    return toLeft.send(text) && toRight.send(text);
  };
  ASSERT_TRUE(sendBoth(ride.text));
  for (ReceiverRun* run : runs) ASSERT_TRUE(waitForCalls(run->trace, "move_abs", 2));
  std::this_thread::sleep_for(300ms);
  for (ReceiverRun* run : runs) EXPECT_EQ(countCalls(run->trace, "move_abs"), 2u) << "levels once";
  ASSERT_TRUE(sendBoth(ride.text));
  for (ReceiverRun* run : runs) ASSERT_TRUE(waitForCalls(run->trace, "move_abs", 3));

  const auto stopped = std::chrono::steady_clock::now();
  left.process->signal(SIGINT);
  right.process->signal(SIGINT);
  std::this_thread::sleep_for(300ms);
  left.process->signal(SIGINT);
  const std::optional<int> leftCode = left.process->waitExit(10s);
  const auto leftTook = std::chrono::steady_clock::now() - stopped;
  const std::optional<int> rightCode = right.process->waitExit(10s);
  const auto rightTook = std::chrono::steady_clock::now() - stopped;
  ASSERT_TRUE(leftCode && rightCode);
  EXPECT_EQ(*leftCode, 0);
  EXPECT_EQ(*rightCode, 0);
  EXPECT_LE(leftTook, 300ms + stopAllowance()) << "a second stop cuts the wait short";
  EXPECT_GE(rightTook, 3s);
  EXPECT_LE(rightTook, 3s + stopAllowance());

  std::vector<double> levelledAt;
  for (const Side side : {Side::Left, Side::Right}) {
    const ReceiverRun& run = side == Side::Left ? left : right;
    EXPECT_EQ(callsAfterHoming(run.calls()), side == Side::Left ? ride.left : ride.right);
    EXPECT_EQ(run.calls().back(), "close_axcl");

    std::vector<double> moves;  // when each move_abs was made, then when the controller closed
    for (const TraceLine& line : readTrace(run.trace)) {
      if (line.operation == "move_abs" || line.operation == "close_axcl") moves.push_back(line.time);
      if (line.operation == "write_velocity") {
        EXPECT_TRUE(line.arguments.size() == 3 && line.arguments[1] != "0" && line.arguments[2] != "0")
            << "a move at a 0 speed or acceleration on the " << (side == Side::Left ? "left" : "right");
      }
    }
    ASSERT_EQ(moves.size(), 5u);
    EXPECT_GE(moves[1] - moves[0], ride.idleLevelSeconds - 0.1) << "levelled before the silence";
    levelledAt.push_back(moves[1]);
    if (side == Side::Right) {
      EXPECT_GE(moves[4] - moves[3], 2.9) << "closed before the wait";
    }
  }
  EXPECT_NEAR(levelledAt[0], levelledAt[1], launchedThroughEmulator() ? 0.5 : 0.2);
}

std::vector<std::string> pairs(const std::vector<std::array<std::int32_t, 3>>& moves) {
  std::vector<std::string> calls;
  for (const auto& [speed, acceleration, position] : moves) {
    calls.push_back("write_velocity 0 " + std::to_string(speed) + " " + std::to_string(acceleration));
    calls.push_back("move_abs 0 " + std::to_string(position));
  }
  return calls;
}

// The package's settings without its ride guards' lines, which the tests below take one by one.
std::string withoutGuards(const std::string& settings) {
  std::string kept;
  for (const std::string& line : lines(settings)) {
    bool guard = false;
    for (const char* key : {"maxAngleRate", "holdOverRange", "levelWithoutPartner", "rideLog"}) {
      guard = guard || line.rfind(std::string(key) + "=", 0) == 0;
    }
    if (!guard) kept += line + "\n";
  }
  return kept;
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RideSafety,
    ::testing::Values(
        // Roll 10: the right moves about 0.723 of the left's way.
        RideSafetyCase{"GentleTenRampAndLevelAfterOneSecond",
                       "[actuator]\ngentleSpeedPercent=10\nrampSeconds=1\nidleLevelSeconds=1\n"
                       "stopLevelSeconds=3\n",
                       "0,-10", 1.0,
                       pairs({{2000, 3, -22132}, {2000, 3, -15000}, {2000, 3, -22132}, {2000, 3, -15000}}),
                       pairs({{1446, 2, -9841}, {2000, 3, -15000}, {1446, 2, -9841}, {2000, 3, -15000}})},
        // Pitch -10 and roll -5: the right moves about 0.277 of the left's way, so the gentle
        // acceleration of 3 would be scaled down to 0.
        RideSafetyCase{"ThePackagesSettings", withoutGuards(readFile(BRENIK_SOURCE_DIR "/packaging/brenik.ini")),
                       "10,5", 2.0,
                       pairs({{2000, 3, -6469}, {2000, 3, -15000}, {2000, 3, -6469}, {2000, 3, -15000}}),
                       pairs({{553, 1, -12638}, {2000, 3, -15000}, {553, 1, -12638}, {2000, 3, -15000}})}),
    [](const ::testing::TestParamInfo<RideSafetyCase>& c) { return c.param.name; });

// The moves after homing, each with the stand-in's time stamp of its move_abs.
struct TimedMove {
  double time;
  std::int32_t position;
};

std::vector<TimedMove> timedMoves(const std::string& trace) {
  std::vector<TimedMove> moves;
  for (const TraceLine& line : readTrace(trace)) {
    if (line.operation == "move_abs" && line.arguments.size() == 2) {
      moves.push_back({line.time, std::stoi(line.arguments[1])});
    }
  }
  return moves;
}

// Sends `text` every `period` until `duration` has passed.
void stream(DatagramSender& sender, const std::string& text, std::chrono::milliseconds period,
            std::chrono::milliseconds duration) {
  const auto start = std::chrono::steady_clock::now();
  for (auto next = start; next < start + duration; next += period) {
    std::this_thread::sleep_until(next);
    sender.sendNow(text);
  }
}

// Where the seat's left actuator goes for the sent "20,0" (pitch -20 with the reversal on: the
// third's stroke at pitch 20, 43.903 mm) and for level.
constexpr std::int32_t kLeftAtSentPitch20 = -4390;
constexpr std::int32_t kLeftLevel = -15000;

// maxAngleRate=50: a step of 20 degrees is commanded over about 0.4 s, in steps about 10 ms
// apart, whether silence follows it or a 100 Hz stream.
TEST(RideGuards, AngleRateLeadsAStepOverItsTimeAlsoIntoSilence) {
  ReceiverRun run(Side::Left, {}, "[actuator]\nmaxAngleRate=50\n");
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  const auto arrivedAt = [&](std::int32_t position) {
    return waitFor([&] {
      const std::vector<TimedMove> moves = timedMoves(run.trace);
      return !moves.empty() && moves.back().position == position;
    }, 5s);
  };
  ASSERT_TRUE(sender.send("20,0"));
  ASSERT_TRUE(arrivedAt(kLeftAtSentPitch20)) << "a step followed by silence still arrives";
  const std::size_t stepMoves = timedMoves(run.trace).size();
  stream(sender, "0,0", 10ms, 800ms);
  ASSERT_TRUE(arrivedAt(kLeftLevel));
  run.expectCleanStop();

  const std::vector<TimedMove> moves = timedMoves(run.trace);
  const double tolerance = launchedThroughEmulator() ? 0.25 : 0.08;
  const auto firstAt = [&](std::size_t from, std::int32_t position) {
    for (std::size_t i = from; i < moves.size(); ++i) {
      if (moves[i].position == position) return i;
    }
    return moves.size();
  };
  const std::size_t up = firstAt(0, kLeftAtSentPitch20);
  const std::size_t down = firstAt(stepMoves, kLeftLevel);
  ASSERT_LT(down, moves.size());
  EXPECT_NEAR(moves[up].time - moves[0].time, 0.4, tolerance) << "into silence";
  EXPECT_NEAR(moves[down].time - moves[stepMoves].time, 0.4, tolerance) << "under a stream";
  EXPECT_GE(up, 20u) << "led in steps, not one jump";
}

// holdOverRange=1: pitch 20.5 is commanded as pitch 20 (the third moving most: 106.1 of 150.0
// mm at full scale), not as level.
TEST(RideGuards, HoldOverRangeCommandsTheRangesEdge) {
  ReceiverRun run(Side::Left, {}, "[actuator]\nholdOverRange=1\n");
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  ASSERT_TRUE(sender.send("20.5,0") && sender.send("20,0"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 2));
  run.expectCleanStop();
  EXPECT_EQ(callsAfterHoming(run.calls()),
            pairs({{14146, 23, kLeftAtSentPitch20}, {14146, 23, kLeftAtSentPitch20}}));
}

// levelWithoutPartner=1 on the left, angles at 50 Hz throughout: none followed until the right
// receiver runs; the right gone (killed, or ended under the emulator): one level move within
// 1.5 s and nothing more; the right back: a new ramp from the gentle limits.
TEST(RideGuards, LeftFollowsAnglesOnlyWhileTheRightReceiverRuns) {
  ReceiverRun left(Side::Left, {}, "[actuator]\nlevelWithoutPartner=1\nrampSeconds=2\n");
  ASSERT_TRUE(waitForCalls(left.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  std::atomic<bool> sending{true};
  std::thread angles([&] {
    while (sending) stream(sender, "0,-10", 20ms, 100ms);
  });
  struct Stop {
    std::atomic<bool>& sending;
    std::thread& angles;
    ~Stop() {
      sending = false;
      angles.join();
    }
  } stopSending{sending, angles};

  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(countCalls(left.trace, "move_abs"), 0u) << "followed angles before the right ran";
  auto right = std::make_unique<ReceiverRun>(Side::Right);
  ASSERT_TRUE(waitForCalls(left.trace, "move_abs", 1));
  std::this_thread::sleep_for(500ms);
  if (launchedThroughEmulator()) {
    right->expectCleanStop();
  } else {
    right->process->signal(SIGKILL);
    ASSERT_TRUE(right->process->waitExit(5s));
  }
  // Angles are followed until the look of about once a second finds it gone.
  const auto levelled = [&] {
    const std::vector<TimedMove> moves = timedMoves(left.trace);
    return !moves.empty() && moves.back().position == kLeftLevel;
  };
  ASSERT_TRUE(waitFor(levelled, launchedThroughEmulator() ? 2500ms : 1500ms));
  const std::size_t moves = countCalls(left.trace, "move_abs");
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(countCalls(left.trace, "move_abs"), moves) << "nothing more while angles come";
  right = std::make_unique<ReceiverRun>(Side::Right);
  ASSERT_TRUE(waitForCalls(left.trace, "move_abs", moves + 1));
  left.expectCleanStop();

  const std::vector<std::string> calls = callsAfterHoming(left.calls());
  std::vector<std::string> expected;
  for (std::size_t i = 0; i + 1 < moves; ++i) {
    for (const std::string& call : pairs({{2000, 3, -22132}})) expected.push_back(call);
  }
  for (const std::string& call : pairs({{2000, 3, kLeftLevel}, {2000, 3, -22132}})) {
    expected.push_back(call);  // levelled at the gentle limits, then a new ramp from them
  }
  ASSERT_GE(calls.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + expected.size()), expected);
}

// A settings file asking for the ride log, and a log from before that is nearly full.
constexpr std::size_t kOldLogBytes = 999950;
void settingsWithAFullLog(const std::string& settingsPath) {
  std::ofstream(settingsPath) << "[actuator]\nrideLog=1\nidleLevelSeconds=1\nstopLevelSeconds=1\n";
  const std::string folder = settingsPath.substr(0, settingsPath.rfind('/'));
  std::ofstream(folder + "/L_BrenikReceiver.log", std::ios::binary) << std::string(kOldLogBytes, 'x');
}

// rideLog=1: a scripted ride's events, one line each with the local date and time, in order; the
// log from before, at its bound, moved to ".1".
TEST(RideGuards, RideLogHoldsTheRidesEventsInOrderAndMovesOnAtItsBound) {
  ReceiverRun run(Side::Left, {}, "", false, settingsWithAFullLog);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  ASSERT_TRUE(sender.send("junk") && sender.send("5,0") && sender.send("5,0"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 3, 5s)) << "levelled after a second";
  ASSERT_TRUE(sender.send("5,0"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 4));
  run.process->signal(SIGINT);
  ASSERT_EQ(run.process->waitExit(10s), std::optional<int>(0));

  EXPECT_EQ(readFile(run.dir.file("L_BrenikReceiver.log.1")), std::string(kOldLogBytes, 'x'));
  std::vector<std::string> events;
  for (const std::string& line : lines(readFile(run.dir.file("L_BrenikReceiver.log")))) {
    ASSERT_GE(line.size(), 20u) << line;
    const std::string stamp = "dddd-dd-dd dd:dd:dd ";  // d: a digit
    for (std::size_t i = 0; i < stamp.size(); ++i) {
      EXPECT_TRUE(stamp[i] == 'd' ? line[i] >= '0' && line[i] <= '9' : line[i] == stamp[i])
          << "time stamp of: " << line;
    }
    const std::string event = line.substr(20);
    if (event.rfind("the datagram rate", 0) == 0) continue;  // timing decides these
    if (event.rfind("start: L_BrenikReceiver ", 0) == 0) {
      events.push_back("start" + event.substr(event.find(';')));
    } else if (event.rfind("stop asked for by Ctrl+C", 0) == 0) {
      events.push_back("stop asked for by Ctrl+C");
    } else {
      events.push_back(event);
    }
  }
  EXPECT_EQ(events, (std::vector<std::string>{
                        "start; settings from ./brenik.ini: l_com=COM8, maxActuatorSpeed=20000, "
                        "maxActuatorAccel=33, axisReversalMode=1, gentleSpeedPercent=10, "
                        "rampSeconds=0, idleLevelSeconds=1, stopLevelSeconds=1, maxAngleRate=0, "
                        "holdOverRange=0, levelWithoutPartner=0, rideLog=1; controller library loaded",
                        "homing the actuator on COM8",
                        "homed; waiting for angles",
                        "1 text without two angles skipped (1 since the start)",
                        "following angles, from 5.000,0.000",
                        "levelling: no angles for 1 s",
                        "following angles, from 5.000,0.000",
                        "stop asked for by Ctrl+C",
                        "levelling before closing",
                        "controller closed; end",
                    }));
}

// The live status line for a scripted stream, one line a report when the output is not a
// console, its numbers with a point though the library sets a comma-decimal locale, first of all
// saying that the controller is the stand-in; started without a settings file, which it says
// once, naming the folder.
TEST(StatusLine, ShowsTheStateRateSkippedTextsAnglesTargetAndSpeed) {
  std::vector<std::string> command = receiverCommand(Side::Left);
  command.push_back("--status");
  ReceiverRun run(Side::Left, {{"AXCLCOM_LOCALE", commaDecimalLocale()}}, "", false,
                  [](const std::string&) {}, command);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  std::vector<std::string> texts;
  for (int i = 0; i < 60; ++i) texts.push_back(i % 20 == 5 ? "abc" : "5,-2.5");
  for (const std::string& text : texts) {
    ASSERT_TRUE(sender.send(text));
    std::this_thread::sleep_for(25ms);
  }
  std::this_thread::sleep_for(2200ms);  // a whole report period after the stream
  run.expectCleanStop();

  // The folder as the program names it: Wine shows the Linux root as drive Z:.
  std::string seenFolder = std::filesystem::canonical(run.dir.path()).string();
  if (launchedThroughEmulator()) {
    seenFolder = "Z:" + seenFolder;
    std::replace(seenFolder.begin(), seenFolder.end(), '/', '\\');
  }
  EXPECT_EQ(run.process->standardError(),
            "L_BrenikReceiver: no settings file brenik.ini in " + seenFolder +
                "; using l_com=COM8, maxActuatorSpeed=20000, maxActuatorAccel=33, "
                "axisReversalMode=1 and no levelling or ramps (put brenik.ini in that folder to "
                "change them)\n");

  std::vector<std::string> reports = lines(run.process->standardOutput());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), "L_BrenikReceiver: stand-in controller (nothing moves)");
  reports.erase(reports.begin());
  std::vector<std::string> states;  // each state once, in the order shown
  for (const std::string& report : reports) {
    ASSERT_EQ(report.rfind("L_BrenikReceiver: ", 0), 0u) << report;
    EXPECT_LE(report.size(), 79u) << report;  // an 80-column console never wraps it
    const std::string state = report.substr(18, report.find(',') - 18);
    if (states.empty() || states.back() != state) states.push_back(state);
  }
  EXPECT_EQ(states, (std::vector<std::string>{"waiting for the port", "opening the controller",
                                              "homing", "waiting for angles", "riding"}));
  // While the stream came, about 40 texts a second; after it, none.
  const auto rate = [](const std::string& report) {
    const std::size_t hz = report.find(" Hz");
    return std::stod(report.substr(report.rfind(' ', hz - 1) + 1, hz));
  };
  const std::vector<std::string>::const_iterator streaming =
      std::find_if(reports.begin(), reports.end(),
                   [&](const std::string& r) { return r.find("riding") != std::string::npos; });
  ASSERT_NE(streaming, reports.end());
  double fastest = 0;
  for (auto r = streaming; r != reports.end(); ++r) fastest = std::max(fastest, rate(*r));
  EXPECT_GT(fastest, 15.0);
  EXPECT_LT(fastest, 60.0);
  // The last report: no texts since the one before, three skipped, this side's target for the
  // angles as sent (the guide's table), and the angles; the speed no longer fits.
  EXPECT_EQ(reports.back(), "L_BrenikReceiver: riding, 0 Hz, 3 skipped, 136.45 mm, angles 5.000,-2.500");
  // Before any angles, the speed the ride starts with.
  const auto waiting = std::find_if(reports.begin(), reports.end(), [](const std::string& r) {
    return r.rfind("L_BrenikReceiver: waiting for angles", 0) == 0;
  });
  ASSERT_NE(waiting, reports.end());
  EXPECT_EQ(*waiting, "L_BrenikReceiver: waiting for angles, 0 Hz, 150.00 mm, speed 20000");
}

// Standard output that takes nothing: a pipe whose buffer is full, or a terminal whose output is
// paused (Ctrl+S). Made by the test and held until it goes.
class BlockedOutput {
 public:
  enum class Kind { FullPipe, PausedTerminal };

  BlockedOutput(Kind kind, const ScratchDir& dir) {
    if (kind == Kind::FullPipe) {
      path_ = dir.file("output.fifo");
      if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
      // A reader that never reads, then the buffer filled to the last byte.
      readEnd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
      writeEnd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
      const std::string block(4096, 'x');
      while (::write(writeEnd_, block.data(), block.size()) > 0) {
      }
      const char one = 'x';
      while (::write(writeEnd_, &one, 1) > 0) {
      }
    } else {
      readEnd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
      if (readEnd_ < 0 || ::grantpt(readEnd_) != 0 || ::unlockpt(readEnd_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
      }
      path_ = ::ptsname(readEnd_);
      writeEnd_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
      if (writeEnd_ < 0 || ::tcflow(writeEnd_, TCOOFF) != 0) throw std::runtime_error("tcflow failed");
    }
  }
  ~BlockedOutput() {
    ::close(writeEnd_);
    ::close(readEnd_);
  }
  BlockedOutput(const BlockedOutput&) = delete;
  BlockedOutput& operator=(const BlockedOutput&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  int readEnd_ = -1;
  int writeEnd_ = -1;
};

class BlockedOutputTest : public ::testing::TestWithParam<BlockedOutput::Kind> {};

// The seat never waits for a console: with --status going nowhere, the stream is commanded at its
// rate, the silence levels the seat, and a stop closes the controller in time.
TEST_P(BlockedOutputTest, NeverHoldsUpTheRide) {
  ScratchDir outputDir;
  const BlockedOutput output(GetParam(), outputDir);
  std::vector<std::string> command = receiverCommand(Side::Left);
  command.push_back("--status");
  ReceiverRun run(Side::Left, {}, "[actuator]\nidleLevelSeconds=1\n", false, nullptr, command,
                  false, output.path());
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  // A second of angles at 100 Hz, through at least one report period.
  DatagramSender sender(receiverPort(Side::Left));
  for (int i = 0; i < 100; ++i) {
    sender.sendNow(i % 2 == 0 ? "5,0" : "0,5");
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 80, 2s)) << countCalls(run.trace, "move_abs");
  const std::size_t beforeSilence = countCalls(run.trace, "move_abs");
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", beforeSilence + 1, 3s)) << "no levelling";
  EXPECT_EQ(run.calls().back(), "move_abs 0 -15000");
  run.expectCleanStop();
}

INSTANTIATE_TEST_SUITE_P(
    Output, BlockedOutputTest,
    ::testing::Values(BlockedOutput::Kind::FullPipe, BlockedOutput::Kind::PausedTerminal),
    [](const ::testing::TestParamInfo<BlockedOutput::Kind>& kind) {
      return kind.param == BlockedOutput::Kind::FullPipe ? "FullPipe" : "PausedTerminal";
    });

// The source's last word is never lost while the controller is busy: with calls of 20 ms, as a
// serial controller's, a 100 Hz stream and bursts sent during one call, each ending level (some
// with an unreadable text behind the level one), always end with the level command.
TEST(LastWord, EveryStreamAndBurstEndingLevelEndsLevel) {
  ReceiverRun run(Side::Left, {{"AXCLCOM_DELAY_MS", "20"}});
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  const std::string kLevelMove = "move_abs 0 -15000";
  // Waits until the receiver has commanded all it will; its last move.
  const auto lastMoveOnceQuiet = [&] {
    std::size_t calls = 0;
    waitFor([&] {
      const std::size_t now = run.calls().size();
      const bool quiet = now == calls;
      calls = now;
      return quiet;
    }, 10s, 150ms);
    const std::vector<std::string> all = run.calls();
    const auto last = std::find_if(all.rbegin(), all.rend(), [](const std::string& call) {
      return call.rfind("move_abs", 0) == 0;
    });
    return last == all.rend() ? std::string("none") : *last;
  };
  std::vector<std::string> hundred;
  for (int i = 0; i < 99; ++i) hundred.push_back(std::to_string(i % 15) + ",-3");
  hundred.push_back("0,0");
  const std::vector<std::vector<std::string>> bursts = {
      {"3,3", "0,0"}, {"0,0", "abc"}, {"0,0", "5;0"}, {"0,0", "1e39,0"}, hundred};
  for (int round = 0; round < 10; ++round) {
    for (int i = 0; i < 30; ++i) {
      sender.sendNow(std::to_string(i % 10) + ",2");
      std::this_thread::sleep_for(10ms);
    }
    sender.sendNow("0,0");
    EXPECT_EQ(lastMoveOnceQuiet(), kLevelMove) << "stream of round " << round;

    // Tilted, and while the receiver is in the call that moves there, a whole burst.
    const std::size_t velocities = countCalls(run.trace, "write_velocity");
    sender.sendNow("8,-4");
    ASSERT_TRUE(waitForCalls(run.trace, "write_velocity", velocities + 1));
    for (const std::string& text : bursts[round % bursts.size()]) sender.sendNow(text);
    EXPECT_EQ(lastMoveOnceQuiet(), kLevelMove) << "burst of round " << round;
  }
  run.expectCleanStop(SIGINT, 0, 20ms);
}

TEST_P(ProgramTest, FractionsReadTheSameAfterTheLibrarySetsACommaDecimalLocale) {
  // The controller library puts the process in a locale that writes "10,5" when it opens.
  ReceiverRun run(GetParam(), {{"AXCLCOM_LOCALE", commaDecimalLocale()}});
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  ASSERT_EQ(run.process->standardError(), "")
      << "the library could not set the locale (scripts/setup.sh makes de_DE.UTF-8)";
  const std::vector<std::string> texts = {"-10.5,0.9", "7.25,-3.75,extra", "0.5e1, -1.5deg"};
  DatagramSender sender(receiverPort(GetParam()));
  for (const std::string& text : texts) ASSERT_TRUE(sender.send(text));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", texts.size()));
  EXPECT_EQ(callsAfterHoming(run.calls()),
            traced(GetParam(), {{17121, 28, -21614}, {11867, 19, -13237}, {1974, 3, -12987}},
                   {{20000, 33, -22725}, {20000, 33, -8607}, {20000, 33, -11134}}));
  run.expectCleanStop();
}

// Holds a receiver's UDP port the way another program, or another copy, would.
class PortHolder {
 public:
  explicit PortHolder(std::uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~PortHolder() { release(); }
  bool bound() const { return bound_; }
  void release() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  bool bound_ = false;
};

std::size_t lineCount(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST_P(ProgramTest, TakenPortIsReportedOnceTouchesNoControllerAndIsPickedUpWhenFree) {
  const std::uint16_t port = receiverPort(GetParam());
  PortHolder holder(port);
  ASSERT_TRUE(holder.bound());

  ReceiverRun run(GetParam());
  ASSERT_TRUE(waitFor([&] { return !run.process->standardError().empty(); }, 10s));
  const unsigned long long before = cpuTicks(run.process->pid());
  std::this_thread::sleep_for(2s);
  EXPECT_LE(cpuTicks(run.process->pid()) - before, 5u) << "CPU used while waiting for the port";
  EXPECT_TRUE(run.calls().empty()) << "the controller was touched while the port was taken";

  const std::string said = run.process->standardError();
  EXPECT_NE(said.find("UDP port " + std::to_string(port) + " is taken by another program"),
            std::string::npos) << said;
  EXPECT_EQ(lineCount(said), 1u) << said;

  holder.release();
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  EXPECT_EQ(run.calls(), (std::vector<std::string>{openCall(defaultPort(GetParam()), 1),
                                                   "get_axcl_state -> 4", "move_org 0 7"}));
  DatagramSender sender(port);
  ASSERT_TRUE(sender.send("0,-10"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 1));
  EXPECT_EQ(lineCount(run.process->standardError()), 2u) << run.process->standardError();
  run.expectCleanStop();
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

// Parameterised tests are listed by their case's name, the same in every build.
void PrintTo(const StartupRoad& c, std::ostream* out) { *out << c.name; }

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
  // The failure road says why, waits for a key, closes the controller and fails.
  ASSERT_TRUE(waitFor([&] { return run.calls().size() >= road.expectedStart.size(); }, 10s));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(run.process->running());
  EXPECT_EQ(run.calls(), road.expectedStart);
  const std::string& lastState = road.expectedStart.back();
  EXPECT_EQ(run.process->standardError(),
            "L_BrenikReceiver: the controller on COM8 is not ready (state " +
                lastState.substr(lastState.rfind(' ') + 1) + "); press Enter to close.\n");
  run.process->writeStdin("\n");
  const std::optional<int> code = run.process->waitExit(10s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1);
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

TEST(StartupRetry, PausesFiveMillisecondsBetweenAttemptsAndSaysOnceWhenSlow) {
  // About three seconds of failed opens, then the controller opens after all.
  std::string opens;
  for (int i = 0; i < 600; ++i) opens += "0,";
  ReceiverRun run(Side::Right, {{"AXCLCOM_INIT", opens + "1"}});
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1, 20s));
  const std::string said =
      "R_BrenikReceiver: still trying to open the controller on COM9; check that it is "
      "connected and switched on (Ctrl+C stops)\n"
      "R_BrenikReceiver: the controller on COM9 is open and ready now\n";
  // The lines go out through the receiver's writer thread: give it a moment to write the last.
  waitFor([&] { return run.process->standardError().size() >= said.size(); }, 2s);
  EXPECT_EQ(run.process->standardError(), said);
  run.expectCleanStop();
  double previousOpen = -1;
  int opensSeen = 0;
  for (const TraceLine& line : readTrace(run.trace)) {
    if (line.operation != "init_axcl_config") continue;
    EXPECT_EQ(line.arguments.front(), "COM9");
    if (previousOpen >= 0) {
      EXPECT_GE(line.time - previousOpen, 0.005);
    }
    previousOpen = line.time;
    ++opensSeen;
  }
  EXPECT_EQ(opensSeen, 601);
}

// What the stand-in cannot use it says once on standard error; the receiver runs on.
struct StandinComplaint {
  const char* name;
  const char* variable;
  std::string (*value)(const ScratchDir& dir);
  std::string says;          // the line, less the system's reason for a trace file
  const char* nativeReason;  // that reason, as the native build gives it
  bool onWindowsToo;         // the case exists for a Windows program
  const char* named = "";    // what the line names after the value: the trace file in a folder
};

void PrintTo(const StandinComplaint& c, std::ostream* out) { *out << c.name; }

class StandinComplaintTest : public ::testing::TestWithParam<StandinComplaint> {};

TEST_P(StandinComplaintTest, SaysItOnceAndTheReceiverRunsOn) {
  const StandinComplaint& complaint = GetParam();
  if (launchedThroughEmulator() && !complaint.onWindowsToo) GTEST_SKIP() << "no such file on Windows";
  ScratchDir dir;
  dir.write("brenik.ini", "");  // the stand-in's line alone: none about missing settings
  const std::string value = complaint.value(dir);
  ReceiverProcess process({receiverCommand(Side::Left), dir.path(), {{complaint.variable, value}}});
  // Homed and at work: a datagram taken means every call so far has traced, or failed to.
  DatagramSender sender(receiverPort(Side::Left));
  ASSERT_TRUE(sender.send("0,-10"));
  ASSERT_TRUE(sender.send("0,-10"));
  const std::vector<std::string> said = lines(process.standardError());
  ASSERT_EQ(said.size(), 1u) << process.standardError();
  const std::string expected = complaint.says + value + complaint.named;
  if (complaint.nativeReason == nullptr) {
    EXPECT_EQ(said.front(), expected);
  } else if (launchedThroughEmulator()) {  // Windows' C library words its reasons its own way
    EXPECT_EQ(said.front().substr(0, expected.size() + 2), expected + ": ");
    EXPECT_GT(said.front().size(), expected.size() + 2) << "no reason given";
  } else {
    EXPECT_EQ(said.front(), expected + ": " + complaint.nativeReason);
  }
  process.signal(SIGINT);
  const std::optional<int> code = process.waitExit(10s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0);
}

const std::string kCannotTrace = "AXCLCOM stand-in: cannot write the trace file ";

INSTANTIATE_TEST_SUITE_P(
    Unusable, StandinComplaintTest,
    ::testing::Values(
        // A folder holds the program's own trace file, here taken by a folder.
        StandinComplaint{"TraceIsAFolder", "AXCLCOM_TRACE",
                         [](const ScratchDir& dir) {
                           std::filesystem::create_directory(
                               dir.file("L_BrenikReceiver-trace.txt"));
                           return dir.path() + "/";
                         },
                         kCannotTrace, "Is a directory", true, "L_BrenikReceiver-trace.txt"},
        StandinComplaint{"TraceInAMissingFolder", "AXCLCOM_TRACE",
                         [](const ScratchDir& dir) { return dir.file("missing/trace.txt"); },
                         kCannotTrace, "No such file or directory", true},
        // Named as a folder by its separator, though there is none.
        StandinComplaint{"TraceInAMissingFolderNamedAsOne", "AXCLCOM_TRACE",
                         [](const ScratchDir& dir) { return dir.file("missing/"); }, kCannotTrace,
                         "No such file or directory", true, "L_BrenikReceiver-trace.txt"},
        // Would wait for a reader for ever.
        StandinComplaint{"TraceIsAFifoNobodyReads", "AXCLCOM_TRACE",
                         [](const ScratchDir& dir) {
                           ::mkfifo(dir.file("trace.fifo").c_str(), 0600);
                           return dir.file("trace.fifo");
                         },
                         kCannotTrace, "No such device or address", false},
        // Opens, and fails on the first write.
        StandinComplaint{"TraceOnAFullDevice", "AXCLCOM_TRACE",
                         [](const ScratchDir&) { return std::string("/dev/full"); }, kCannotTrace,
                         "No space left on device", false},
        StandinComplaint{"UnknownLocale", "AXCLCOM_LOCALE",
                         [](const ScratchDir&) { return std::string("xx_NOWHERE.none"); },
                         "AXCLCOM stand-in: cannot set the locale ", nullptr, true}),
    [](const ::testing::TestParamInfo<StandinComplaint>& c) { return c.param.name; });

// Both receivers given one AXCLCOM_TRACE at once: a folder holds a trace for each program, named
// for it; a file they share holds their lines whole, never parts of two, each one a call.
enum class SharedTrace { Folder, File };

void PrintTo(SharedTrace trace, std::ostream* out) {
  *out << (trace == SharedTrace::Folder ? "Folder" : "File");
}

// A trace line as the stand-in writes it, "<seconds with 6 decimals> <call>", for the calls
// a ride makes; `port` gets the port an open names.
bool isWholeTraceLine(const std::string& line, std::string& port) {
  const auto digits = [](const std::string& text, bool sign) {
    const std::size_t from = sign && !text.empty() && text[0] == '-' ? 1 : 0;
    return text.size() > from &&
           std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::size_t space = line.find(' ');
  const std::size_t point = line.find('.');
  if (space == std::string::npos || point == std::string::npos || point > space ||
      space - point != 7 || !digits(line.substr(0, point), false) ||
      !digits(line.substr(point + 1, 6), false)) {
    return false;
  }
  const std::string call = line.substr(space + 1);
  for (const std::string open : {"COM8", "COM9"}) {
    if (call == openCall(open, 1)) {
      port = open;
      return true;
    }
  }
  std::vector<std::string> words;
  std::istringstream split(call);
  for (std::string word; split >> word;) words.push_back(word);
  if (call == "get_axcl_state -> 4" || call == "move_org 0 7" || call == "close_axcl") return true;
  if (words.size() == 4 && words[0] == "write_velocity" && words[1] == "0") {
    return digits(words[2], false) && digits(words[3], false);
  }
  return words.size() == 3 && words[0] == "move_abs" && words[1] == "0" && digits(words[2], true);
}

class SharedTraceTest : public ::testing::TestWithParam<SharedTrace> {};

TEST_P(SharedTraceTest, EveryLineIsWholeAndAFolderGivesEachProgramItsOwnFile) {
  ScratchDir work;
  ScratchDir traces;
  work.write("brenik.ini", "");
  const bool folder = GetParam() == SharedTrace::Folder;
  const std::string value = folder ? traces.path() : traces.file("both.txt");
  std::vector<std::unique_ptr<ReceiverProcess>> receivers;
  for (const Side side : {Side::Left, Side::Right}) {
    receivers.push_back(std::make_unique<ReceiverProcess>(ReceiverProcess::Options{
        receiverCommand(side), work.path(), {{"AXCLCOM_TRACE", value}}}));
  }
  // Each file and the ports whose controller it opened, one open call each.
  using Files = std::vector<std::pair<std::string, std::vector<std::string>>>;
  const Files expected = folder ? Files{{"L_BrenikReceiver-trace.txt", {"COM8"}},
                                        {"R_BrenikReceiver-trace.txt", {"COM9"}}}
                                : Files{{"both.txt", {"COM8", "COM9"}}};
  for (const auto& [file, ports] : expected) {
    ASSERT_TRUE(waitForCalls(traces.file(file), "move_org", ports.size()));
  }
  // Both write a line for the same datagrams at the same moments.
  DatagramSender toLeft(receiverPort(Side::Left));
  DatagramSender toRight(receiverPort(Side::Right));
  for (int i = 0; i < 300; ++i) {
    const std::string text = std::to_string(i % 30 - 15) + "," + std::to_string(i % 7);
    toLeft.sendNow(text);
    toRight.sendNow(text);
    std::this_thread::sleep_for(3ms);
  }
  std::this_thread::sleep_for(500ms);
  for (const auto& receiver : receivers) receiver->signal(SIGINT);
  for (const auto& receiver : receivers) ASSERT_EQ(receiver->waitExit(10s), std::optional<int>(0));

  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(traces.path())) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> expectedFiles;
  for (const auto& file : expected) expectedFiles.push_back(file.first);
  EXPECT_EQ(files, expectedFiles);
  for (const auto& [file, ports] : expected) {
    const std::string text = readFile(traces.file(file));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << file << " ends in part of a line";
    std::vector<std::string> opened;
    std::size_t closes = 0;
    std::size_t moves = 0;
    for (const std::string& line : lines(text)) {
      std::string port;
      ASSERT_TRUE(isWholeTraceLine(line, port)) << file << ": " << line;
      if (!port.empty()) opened.push_back(port);
      closes += line.find(" close_axcl") != std::string::npos;
      moves += line.find(" move_abs ") != std::string::npos;
    }
    std::sort(opened.begin(), opened.end());
    EXPECT_EQ(opened, ports) << file;
    EXPECT_EQ(closes, ports.size()) << file;
    EXPECT_GT(moves, ports.size() * 20) << file << ": too few moves to have met the other's";
  }
}

INSTANTIATE_TEST_SUITE_P(
    BothSides, SharedTraceTest, ::testing::Values(SharedTrace::Folder, SharedTrace::File),
    [](const ::testing::TestParamInfo<SharedTrace>& trace) {
      return ::testing::PrintToString(trace.param);
    });

// A stop in every phase of a run, by every signal that means one: the controller closed once if
// it was opened, no move started after the stop, and the exit status of that phase.
enum class Phase { WaitingForPort, Opening, SlowOpen, NotReady, Running };
constexpr const char* kPhaseNames[] = {"WaitingForPort", "Opening", "SlowOpen", "NotReady",
                                       "Running"};
void PrintTo(Phase phase, std::ostream* out) { *out << kPhaseNames[static_cast<int>(phase)]; }

using StopCase = std::tuple<Phase, int>;  // the phase and the signal

class StopTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopTest, ClosesTheControllerOnceAndExitsAsDocumented) {
  const auto [phase, signalNumber] = GetParam();
  // Wine turns only SIGINT into a console event; the others end a Windows program unasked.
  if (launchedThroughEmulator() && signalNumber != SIGINT) GTEST_SKIP() << "not a console event";
  PortHolder holder(receiverPort(Side::Left));
  if (phase != Phase::WaitingForPort) holder.release();
  // An open that succeeds after a while: the stop comes while it is in progress.
  const std::chrono::milliseconds openTakes = launchedThroughEmulator() ? 3000ms : 1500ms;
  std::vector<std::pair<std::string, std::string>> environment;
  if (phase == Phase::Opening) environment = {{"AXCLCOM_INIT", "0"}, {"AXCLCOM_STATE", "3"}};
  if (phase == Phase::SlowOpen) {
    environment = {{"AXCLCOM_OPEN_DELAY_MS", std::to_string(openTakes.count())}};
  }
  if (phase == Phase::NotReady) environment = {{"AXCLCOM_STATE", "3"}};
  // The open's status report is what tells that the open has begun, on a slow machine too.
  std::vector<std::string> command = receiverCommand(Side::Left);
  if (phase == Phase::SlowOpen) command.push_back("--status");
  ReceiverRun run(Side::Left, environment, "", /*keepStdinOpen=*/true, nullptr, command);
  switch (phase) {
    case Phase::WaitingForPort:
    case Phase::NotReady:
      ASSERT_TRUE(waitFor([&] { return !run.process->standardError().empty(); }, 10s));
      break;
    case Phase::Opening:
      ASSERT_TRUE(waitForCalls(run.trace, "init_axcl_config", 3));
      break;
    case Phase::SlowOpen:
      ASSERT_TRUE(waitFor(
          [&] {
            return run.process->standardOutput().find("opening the controller") !=
                   std::string::npos;
          },
          10s));
      std::this_thread::sleep_for(openTakes / 3);
      break;
    case Phase::Running:
      ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
      break;
  }
  std::this_thread::sleep_for(100ms);
  const bool slowOpen = phase == Phase::SlowOpen;
  run.expectCleanStop(signalNumber, phase == Phase::NotReady ? 1 : 0, slowOpen ? openTakes : 0ms);
  EXPECT_EQ(run.calls().empty(), phase == Phase::WaitingForPort);
  EXPECT_EQ(countCalls(run.trace, "move_org"), phase == Phase::Running ? 1u : 0u);
  if (slowOpen) {
    EXPECT_EQ(run.calls(), (std::vector<std::string>{openCall("COM8", 1), "close_axcl"}));
  }
}

std::string stopCaseName(const ::testing::TestParamInfo<StopCase>& info) {
  return std::string(kPhaseNames[static_cast<int>(std::get<0>(info.param))]) + "_SIG" +
         sigabbrev_np(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(
    EveryPhase, StopTest,
    ::testing::Combine(::testing::Values(Phase::WaitingForPort, Phase::Opening, Phase::NotReady,
                                         Phase::Running),
                       ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT)),
    stopCaseName);
// Signals that would otherwise end the program with the controller open.
INSTANTIATE_TEST_SUITE_P(OtherSignals, StopTest,
                         ::testing::Combine(::testing::Values(Phase::Running),
                                            ::testing::Values(SIGUSR1, SIGUSR2, SIGALRM)),
                         stopCaseName);
INSTANTIATE_TEST_SUITE_P(WhileOpening, StopTest,
                         ::testing::Combine(::testing::Values(Phase::SlowOpen),
                                            ::testing::Values(SIGINT)),
                         stopCaseName);

TEST(StandardStreams, ClosedOnesNeverReachTheLibrarysFiles) {
  // Not ready: the receiver says so on standard error and waits for Enter on standard input.
  ReceiverRun run(Side::Left, {{"AXCLCOM_STATE", "3"}}, "", false, nullptr, {},
                  /*closeStdinAndStderr=*/true);
  const std::optional<int> code = run.process->waitExit(10s);
  ASSERT_TRUE(code.has_value()) << "still waiting for a key on a closed standard input";
  EXPECT_EQ(*code, 1);
  EXPECT_EQ(run.calls(), (std::vector<std::string>{openCall("COM8", 1), "get_axcl_state -> 3",
                                                   "close_axcl"}));
}

// Arguments are answered before anything else: no settings read, no controller call, no port.
struct ArgumentCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  bool onStandardOutput;  // or standard error
  std::string begins;
  std::string outputTo = "";  // standard output sent there, not captured
};

void PrintTo(const ArgumentCase& c, std::ostream* out) { *out << c.name; }

class ArgumentTest : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(ArgumentTest, AnswersWithoutTouchingTheController) {
  const ArgumentCase& argument = GetParam();
  ScratchDir dir;
  std::vector<std::string> command = receiverCommand(Side::Right);
  command.insert(command.end(), argument.arguments.begin(), argument.arguments.end());
  PortHolder holder(receiverPort(Side::Right));  // a receiver that ran would wait for it
  // Input held open: a refusal that waited for Enter, as it must not from a script, never ends.
  ReceiverProcess process({command, dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}},
                           /*keepStdinOpen=*/true, false, argument.outputTo});
  const std::optional<int> code = process.waitExit(10s);
  ASSERT_TRUE(code.has_value()) << "still running: it did not answer the arguments";
  EXPECT_EQ(*code, argument.status);
  const std::string said = argument.onStandardOutput ? process.standardOutput() : process.standardError();
  const std::string other = argument.onStandardOutput ? process.standardError() : process.standardOutput();
  EXPECT_EQ(said.substr(0, argument.begins.size()), argument.begins) << said;
  EXPECT_EQ(other, "");
  EXPECT_TRUE(traceCalls(dir.file("trace.txt")).empty());
}

const std::string kUsage = "Usage: R_BrenikReceiver [--status | --check | --help | --version]";

INSTANTIATE_TEST_SUITE_P(
    Forms, ArgumentTest,
    ::testing::Values(ArgumentCase{"Help", {"--help"}, 0, true, kUsage},
                      ArgumentCase{"ShortHelp", {"-h"}, 0, true, kUsage},
                      ArgumentCase{"WindowsHelp", {"/?"}, 0, true, kUsage},
                      ArgumentCase{"Version", {"--version"}, 0, true, "R_BrenikReceiver 1.0.0\n"},
                      ArgumentCase{"Unknown", {"--port", "5"}, 2, false,
                                   "R_BrenikReceiver: unknown argument '--port'; it takes only "
                                   "--status, --check, --help or --version\n\n" + kUsage},
                      ArgumentCase{"HelpThenUnknown", {"--help", "x"}, 2, false,
                                   "R_BrenikReceiver: unknown argument 'x'"},
                      // Shown short and with control bytes escaped, not echoed raw.
                      ArgumentCase{"UnknownLongWithControlBytes",
                                   {"\x1b[2J" + std::string(20000, 'a')}, 2, false,
                                   "R_BrenikReceiver: unknown argument '\\x1b[2J" +
                                       std::string(36, 'a') + "...'; it takes only"},
                      ArgumentCase{"VersionToAFullDevice", {"--version"}, 5, false,
                                   "R_BrenikReceiver: cannot write to standard output", "/dev/full"},
                      ArgumentCase{"HelpToAFullDevice", {"--help"}, 5, false,
                                   "R_BrenikReceiver: cannot write to standard output", "/dev/full"}),
    [](const ::testing::TestParamInfo<ArgumentCase>& c) { return c.param.name; });

// --check on the right receiver: what it prints of the settings, the library, the port and the
// lock, and its status, without one controller call. A '*' in a line stands for any text.
struct CheckCase {
  const char* name;
  std::optional<std::string> settings;  // none: no settings file
  enum class Holder { None, Port, AnotherCopy } holder;
  int status;
  std::vector<std::string> lines;  // each among what it prints, in this order
};

void PrintTo(const CheckCase& c, std::ostream* out) { *out << c.name; }

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, SaysWhatARunWouldUseWithoutCallingTheController) {
  const CheckCase& check = GetParam();
  std::unique_ptr<PortHolder> port;
  std::unique_ptr<ReceiverRun> running;
  if (check.holder == CheckCase::Holder::Port) {
    port = std::make_unique<PortHolder>(receiverPort(Side::Right));
    ASSERT_TRUE(port->bound());
  } else if (check.holder == CheckCase::Holder::AnotherCopy) {
    running = std::make_unique<ReceiverRun>(Side::Right);
    ASSERT_TRUE(waitForCalls(running->trace, "move_org", 1));
  }
  ScratchDir dir;
  if (check.settings) dir.write("brenik.ini", *check.settings);
  std::vector<std::string> command = receiverCommand(Side::Right);
  command.push_back("--check");
  ReceiverProcess process({command, dir.path(), {{"AXCLCOM_TRACE", dir.file("trace.txt")}}});
  const std::optional<int> code = process.waitExit(10s);
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, check.status);
  const std::vector<std::string> printed = lines(process.standardOutput());
  auto at = printed.begin();
  for (const std::string& wanted : check.lines) {
    const std::size_t star = wanted.find('*');
    const std::string start = wanted.substr(0, star);
    const std::string end = star == std::string::npos ? "" : wanted.substr(star + 1);
    at = std::find_if(at, printed.end(), [&](const std::string& line) {
      if (star == std::string::npos) return line == wanted;
      return line.size() >= start.size() + end.size() && line.rfind(start, 0) == 0 &&
             line.compare(line.size() - end.size(), end.size(), end) == 0;
    });
    ASSERT_NE(at, printed.end()) << "no line \"" << wanted << "\" in:\n" << process.standardOutput();
  }
  EXPECT_EQ(process.standardError(), "");
  EXPECT_TRUE(traceCalls(dir.file("trace.txt")).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CheckTest,
    ::testing::Values(
        CheckCase{"GoodFile", "[actuator]\nr_com=COM3\nmaxActuatorAccel=250\n", CheckCase::Holder::None, 0,
                  {"one-copy lock: no other copy of R_BrenikReceiver runs", "controller library: *",
                   "settings file: *", "  r_com=COM3 (from the file)",
                   "  maxActuatorSpeed=20000 (default)",
                   "  maxActuatorAccel=100 (from the file, 250 brought into 0..100)",
                   "UDP port 22222: free", "a run could start"}},
        CheckCase{"TypoKey", "[actuator]\nidleLevelSecs=2\n", CheckCase::Holder::None, 0,
                  {"  idleLevelSeconds=0 (default)",
                   "brenik.ini: unknown key \"idleLevelSecs\" in [actuator] is not read; did you "
                   "mean \"idleLevelSeconds\"?",
                   "a run could start"}},
        CheckCase{"RenamedSection", "[Actuator settings]\nr_com=COM3\n", CheckCase::Holder::None, 0,
                  {"  r_com=COM9 (default)",
                   "brenik.ini: unknown section [Actuator settings], whose keys are not read; did "
                   "you mean [actuator]?"}},
        CheckCase{"InlineComment", "[actuator]\nr_com = COM5 ; right\nmaxActuatorSpeed=8000 ; slow\n",
                  CheckCase::Holder::None, 0,
                  {"  r_com=COM5 ; right (from the file; all of it is the port's name: a comment "
                   "belongs on a line of its own)",
                   "  maxActuatorSpeed=8000 (from the file; the text after the number, \" ; slow\", "
                   "is not read)"}},
        CheckCase{"NoFile", std::nullopt, CheckCase::Holder::None, 0,
                  {"settings file: none; looked for brenik.ini in *", "  r_com=COM9 (default)",
                   "a run could start"}},
        CheckCase{"StandIn", "", CheckCase::Holder::None, 0,
                  {"controller library: *-bit, stand-in controller (nothing moves)"}},
        CheckCase{"TakenPort", "", CheckCase::Holder::Port, 7,
                  {"UDP port 22222: taken by another program",
                   "a run could not start now (exit status 7)"}},
        CheckCase{"AnotherCopyRuns", "", CheckCase::Holder::AnotherCopy, 4,
                  {"one-copy lock: another copy of R_BrenikReceiver runs",
                   "a run could not start now (exit status 4)"}}),
    [](const ::testing::TestParamInfo<CheckCase>& c) { return c.param.name; });

// A name no receiver reads is said once at a normal start, and the ride is as without it.
TEST(UnknownNames, AreSaidOnceAtStartAndChangeNoCommand) {
  ReceiverRun run(Side::Left, {}, "[actuator]\nidleLevelSecs=2\n");
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1));
  DatagramSender sender(receiverPort(Side::Left));
  ASSERT_TRUE(sender.send("0,-10"));
  ASSERT_TRUE(waitForCalls(run.trace, "move_abs", 1));
  run.expectCleanStop();
  EXPECT_EQ(callsAfterHoming(run.calls()), pairs({{20000, 33, -22132}}));
  EXPECT_EQ(lines(run.process->standardError()),
            std::vector<std::string>{"L_BrenikReceiver: brenik.ini: unknown key \"idleLevelSecs\" "
                                     "in [actuator] is not read; did you mean \"idleLevelSeconds\"?"});
}

// A settings file that is not a readable regular file reads as none, at once and in bounded
// memory; a very large one is read through to its values.
struct SettingsFileCase {
  const char* name;
  void (*make)(const std::string& path);
  std::string port;   // the port opened
  bool onWindowsToo;  // the case exists for a Windows program
};

void PrintTo(const SettingsFileCase& c, std::ostream* out) { *out << c.name; }

class SettingsFileTest : public ::testing::TestWithParam<SettingsFileCase> {};

TEST_P(SettingsFileTest, StartsQuicklyInBoundedMemoryAndStopsCleanly) {
  const SettingsFileCase& file = GetParam();
  if (launchedThroughEmulator() && !file.onWindowsToo) GTEST_SKIP() << "no such file on Windows";
  const auto started = std::chrono::steady_clock::now();
  ReceiverRun run(Side::Left, {}, "", false, file.make);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1, 20s));
  EXPECT_LE(std::chrono::steady_clock::now() - started, launchedThroughEmulator() ? 5s : 2s);
  EXPECT_EQ(run.calls().front(), openCall(file.port, 1));
  if (!launchedThroughEmulator()) {
    EXPECT_LE(statusKb(run.process->pid(), "VmHWM").value_or(0), 64 * 1024) << "kB at most";
  }
  run.expectCleanStop();
}

INSTANTIATE_TEST_SUITE_P(
    Unusual, SettingsFileTest,
    ::testing::Values(
        SettingsFileCase{"Folder", [](const std::string& path) { ::mkdir(path.c_str(), 0755); },
                         "COM8", true},
        SettingsFileCase{"Fifo", [](const std::string& path) { ::mkfifo(path.c_str(), 0644); },
                         "COM8", false},
        SettingsFileCase{"Device", [](const std::string& path) { ::symlink("/dev/zero", path.c_str()); },
                         "COM8", false},
        SettingsFileCase{"FiftyMegabytesOfBlankLines",
                         [](const std::string& path) {
                           std::ofstream(path, std::ios::binary)
                               << std::string(50 << 20, '\n') << "[actuator]\nl_com=COM5\n";
                         },
                         "COM5", true}),
    [](const ::testing::TestParamInfo<SettingsFileCase>& c) { return c.param.name; });

// The receiver copied alone into a folder of its own, away from its working folder, so that the
// only controller library it may load is one put beside the copy.
struct ProgramCopy {
  ScratchDir dir;
  std::string folder = std::filesystem::canonical(dir.path()).string();
  std::vector<std::string> command = receiverCommand(Side::Left);
  std::string built = command.back();  // the program as built, beside the build's stand-in

  ProgramCopy() {
    command.back() = folder + "/" + std::filesystem::path(built).filename().string();
    std::filesystem::copy_file(built, command.back());
  }
  void putBeside(const std::string& library) const {
    std::filesystem::copy_file(library, folder + "/" + programBuild().libraryFile);
  }
  std::string builtStandin() const {
    return std::filesystem::path(built).parent_path().string() + "/" + programBuild().libraryFile;
  }
  // The folder as the program names it: Wine shows the Linux root as drive Z:.
  std::string seenFolder() const {
    if (!launchedThroughEmulator()) return folder;
    std::string windows = "Z:" + folder;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
  }
};

// What sits beside the program where its controller library should be.
enum class Beside { Nothing, Text, OtherBitness, LackingOperation };

struct LibraryRefusal {
  const char* name;
  Beside beside;
};

void PrintTo(const LibraryRefusal& c, std::ostream* out) { *out << c.name; }

class LibraryRefusalTest : public ::testing::TestWithParam<LibraryRefusal> {};

TEST_P(LibraryRefusalTest, OneLineNamesFileFolderAndFaultThenStatusThreeWithNoCall) {
  const ProgramBuild build = programBuild();
  const ProgramCopy copy;
  const std::string& file = build.libraryFile;
  const std::string bits = std::to_string(build.bits) + "-bit";
  const std::string remedy = "put the controller's " + bits + " " + file + " there";
  const std::string where =
      "L_BrenikReceiver: cannot use the controller library " + file + " in " + copy.seenFolder() + ": ";
  ScratchDir work;
  std::string expected;
  switch (GetParam().beside) {
    case Beside::Nothing:
      // A library in the working folder is not the program's own.
      std::filesystem::copy_file(copy.builtStandin(), work.file(file));
      expected = "L_BrenikReceiver: no controller library " + file + " in " + copy.seenFolder() +
                 "; " + remedy + ", beside this program";
      break;
    case Beside::Text:
      copy.dir.write(file, "not a library\n");
      expected = where + "it is not a library; " + remedy;
      break;
    case Beside::OtherBitness: {
      const std::string other = build.bits == 64 ? "32-bit" : "64-bit";
      if (launchedThroughEmulator()) {
        copy.putBeside(build.testLibraries + "/other-bitness/" + file);
      } else {  // no compiler for the other bitness here: an ELF header of the other class
        const char elfClass = build.bits == 64 ? 1 : 2;
        copy.dir.write(file, std::string("\x7f" "ELF", 4) + elfClass + std::string(59, '\1'));
      }
      expected = where + "it is a " + other + " library and this program is " + bits + "; use " +
                 other + " receivers with it, or " + remedy;
      break;
    }
    case Beside::LackingOperation:
      copy.putBeside(build.testLibraries + "/lacking-operation/" + file);
      expected = where + "it has no operation close_axcl" +
                 (build.decoratedNames ? " (looked for close_axcl@0, _close_axcl@0, close_axcl)" : "") +
                 "; " + remedy;
      break;
  }
  // Input held open: a refusal that waited for Enter, as it must not from a script, never ends.
  ReceiverProcess process({copy.command, work.path(), {{"AXCLCOM_TRACE", work.file("trace.txt")}},
                           /*keepStdinOpen=*/true});
  const std::optional<int> code = process.waitExit(10s);
  ASSERT_TRUE(code.has_value()) << "still running";
  EXPECT_EQ(*code, 3);
  EXPECT_EQ(lines(process.standardError()), std::vector<std::string>{expected});
  EXPECT_FALSE(std::filesystem::exists(work.file("trace.txt"))) << readFile(work.file("trace.txt"));
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, LibraryRefusalTest,
    ::testing::Values(LibraryRefusal{"Missing", Beside::Nothing},
                      LibraryRefusal{"NotALibrary", Beside::Text},
                      LibraryRefusal{"OtherBitness", Beside::OtherBitness},
                      LibraryRefusal{"LackingAnOperation", Beside::LackingOperation}),
    [](const ::testing::TestParamInfo<LibraryRefusal>& refusal) { return refusal.param.name; });

// On the real library (here the stand-in without its marker) the reports start with the first
// state, as they always did, and never mention a stand-in.
TEST(StatusLine, SaysNothingOfAStandInOnTheRealLibrary) {
  const ProgramCopy copy;
  copy.putBeside(programBuild().testLibraries + "/without-marker/" + programBuild().libraryFile);
  std::vector<std::string> command = copy.command;
  command.push_back("--status");
  ReceiverRun run(Side::Left, {}, "", false, nullptr, command);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1)) << run.process->standardError();
  run.expectCleanStop();
  const std::vector<std::string> reports = lines(run.process->standardOutput());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.front(), "L_BrenikReceiver: waiting for the port, 0 Hz, 150.00 mm, speed 0");
  for (const std::string& report : reports) EXPECT_EQ(report.find("stand-in"), std::string::npos);
}

// A 32-bit controller library in either convention, under decorated or plain names: one build
// of the receivers calls each as the native planner says, and a long run of the C convention's
// calls leaves the stack balanced (a wrongly popped call breaks it within a few datagrams).
struct ConventionCase {
  const char* name;
  const char* folder;  // in the test libraries; empty: the build's own stand-in
  int datagrams;
};

void PrintTo(const ConventionCase& c, std::ostream* out) { *out << c.name; }

class ControllerLibrary : public ::testing::TestWithParam<ConventionCase> {};

TEST_P(ControllerLibrary, CommandsAsPlannedWhateverItsConvention) {
  const ProgramBuild build = programBuild();
  if (!build.decoratedNames) GTEST_SKIP() << "this build has one calling convention";
  const ConventionCase& c = GetParam();
  const ProgramCopy copy;
  copy.putBeside(*c.folder == '\0' ? copy.builtStandin()
                                   : build.testLibraries + "/" + c.folder + "/" + build.libraryFile);
  ReceiverRun run(Side::Left, {}, "", false, nullptr, copy.command);
  ASSERT_TRUE(waitForCalls(run.trace, "move_org", 1)) << run.process->standardError();
  std::vector<std::string> texts;
  for (int i = 0; i < c.datagrams; ++i) {
    texts.push_back(std::to_string(i % 41 - 20) + "." + std::to_string(i % 10) + "," +
                    std::to_string(i * 7 % 41 - 20));
  }
  // Each datagram once the one before has moved the actuator, so that none is queued behind
  // another: every one is a move of its own.
  DatagramSender sender(receiverPort(Side::Left));
  TraceCounter moves(run.trace, "move_abs");
  for (std::size_t i = 0; i < texts.size(); ++i) {
    sender.sendNow(texts[i]);
    ASSERT_TRUE(waitFor([&] { return moves.count() > i; }, 10s, 1ms)) << "no move for " << texts[i];
  }
  const std::vector<std::string> calls = run.calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
            (std::vector<std::string>{openCall("COM8", 1), "get_axcl_state -> 4", "move_org 0 7"}));
  EXPECT_EQ(callsAfterHoming(calls), expectedCommands(Side::Left, texts, {20000, 33}, 1));
  run.expectCleanStop();
}

INSTANTIATE_TEST_SUITE_P(
    Conventions, ControllerLibrary,
    ::testing::Values(ConventionCase{"StdcallDecoratedNames", "", 20},
                      ConventionCase{"StdcallPlainNames", "plain-names", 20},
                      ConventionCase{"CPlainNames", "c-convention", 3000}),
    [](const ::testing::TestParamInfo<ConventionCase>& c) { return c.param.name; });

// Every test here binds or sends to the receivers' fixed ports.
class PortsEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    lock_ = std::make_unique<ReceiverPortsLock>();
    // A port held by another program would fail every test slowly and name nothing. Ending the
    // run here fails it: a failed environment would only mark the tests skipped.
    for (const Side side : {Side::Left, Side::Right}) {
      if (findBoundUdpSocket(receiverPort(side))) {
        std::fprintf(stderr, "UDP port %u is held by another program (perhaps a receiver left "
                     "running); the program tests need it free\n", receiverPort(side));
        std::exit(1);
      }
    }
  }
  void TearDown() override { lock_.reset(); }

 private:
  std::unique_ptr<ReceiverPortsLock> lock_;
};

const auto* const kPortsEnvironment = ::testing::AddGlobalTestEnvironment(new PortsEnvironment);

}  // namespace
