// The planner as sequences of datagrams for both sides: the moves it returns.
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "motion/planner.h"
#include "motion/ride.h"

namespace motion {

// A move as the tables below write it.
void PrintTo(const Move& move, std::ostream* out) {
  *out << "{" << move.speed << ", " << move.acceleration << ", " << move.position << "}";
}

}  // namespace motion

namespace {

using motion::Side;

using Command = motion::Move;

// The moves a ride returns, in order.
struct Recorder {
  std::vector<Command> commands;
  void operator()(const Command& move) { commands.push_back(move); }
};

struct Angles {
  float pitch;
  float roll;
};

std::vector<Command> run(Side side, const std::vector<Angles>& sequence,
                         motion::MotionLimits limits = {20000, 33}) {
  motion::PlannerState state = motion::initialPlannerState(limits);
  Recorder recorder;
  for (const Angles& a : sequence) {
    recorder(motion::planMove(a.pitch, a.roll, side, limits, state));
  }
  return recorder.commands;
}

struct Scenario {
  const char* name;
  std::vector<Angles> sequence;
  std::vector<Command> left;
  std::vector<Command> right;
};

void PrintTo(const Scenario& s, std::ostream* out) {
  for (const Angles& a : s.sequence) *out << "(" << a.pitch << ", " << a.roll << ")";
}

class PlannerScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(PlannerScenario, CommandsBothSides) {
  EXPECT_EQ(run(Side::Left, GetParam().sequence), GetParam().left);
  EXPECT_EQ(run(Side::Right, GetParam().sequence), GetParam().right);
}

// The seat is the same seen from either side: with every roll reversed the sides swap commands.
TEST_P(PlannerScenario, ReversedRollSwapsTheSides) {
  std::vector<Angles> mirrored = GetParam().sequence;
  for (Angles& a : mirrored) a.roll = -a.roll;
  EXPECT_EQ(run(Side::Left, mirrored), GetParam().right);
  EXPECT_EQ(run(Side::Right, mirrored), GetParam().left);
}

// A ride with every safety rule off commands exactly what the planner alone does.
TEST_P(PlannerScenario, RideWithTheRulesOffCommandsAsThePlannerDoes) {
  for (const Side side : {Side::Left, Side::Right}) {
    motion::Ride ride(side, {20000, 33}, motion::RidePolicy{});
    Recorder recorder;
    double now = 0;
    for (const Angles& a : GetParam().sequence) recorder(ride.angles(a.pitch, a.roll, now += 100));
    EXPECT_EQ(recorder.commands, side == Side::Left ? GetParam().left : GetParam().right);
    EXPECT_FALSE(ride.levelsBeforeClosing());
    EXPECT_TRUE(std::isinf(ride.levelDeadline()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PlannerScenario,
    ::testing::Values(
        Scenario{"Level", {{0, 0}}, {{20000, 33, -15000}}, {{20000, 33, -15000}}},
        // Equal front moves, the third's smaller: both run at full speed.
        Scenario{"PitchTen", {{10, 0}}, {{20000, 33, -21786}}, {{20000, 33, -21786}}},
        // Equal front moves, the third's larger: the third's move sets the pace, both fronts run
        // slower. Back to level the third's move counts from its last target, so again.
        Scenario{"PitchMinusTenAndBack",
                 {{-10, 0}, {0, 0}},
                 {{16781, 27, -9305}, {16781, 27, -15000}},
                 {{16781, 27, -9305}, {16781, 27, -15000}}},
        // The right actuator moves less than the left and is slowed in proportion; the same
        // datagram again moves nothing and keeps the speeds. Then both fronts go to the 300 clamp
        // (the left moving less) and stay there while only the third moves: speeds kept again.
        Scenario{"RollTenThenPitchIntoTheClamp",
                 {{0, 10}, {0, 10}, {20, 0}, {19.9f, 0}},
                 {{20000, 33, -22132}, {20000, 33, -22132},
                  {7805, 12, -30000}, {7805, 12, -30000}},
                 {{14465, 23, -9841}, {14465, 23, -9841},
                  {20000, 33, -30000}, {20000, 33, -30000}}},
        // Right target held at the 300 clamp while the left moves: ratio 0, kept after. With the
        // roll reversed the left is held and the right target alone moves.
        Scenario{"OneFrontHeldAtTheClamp",
                 {{20, -20}, {20, -19}, {20, -19}},
                 {{9225, 15, -21918}, {20000, 33, -22132}, {20000, 33, -22132}},
                 {{20000, 33, -30000}, {0, 0, -30000}, {0, 0, -30000}}},
        // Not a number fails both gates: everything stays at rest.
        Scenario{"NotANumber", {{NAN, INFINITY}}, {{20000, 33, -15000}}, {{20000, 33, -15000}}}),
    [](const ::testing::TestParamInfo<Scenario>& scenario) { return scenario.param.name; });

// Whole millimetres (rest and the clamp) are always exact; the other pins hold to `tolerance`.
void expectTargets(Angles a, const motion::Targets& pinned, double tolerance = 0.001) {
  const motion::Targets got = motion::computeTargets(a.pitch, a.roll);
  const auto allowed = [&](float stroke) { return stroke == std::trunc(stroke) ? 0.0 : tolerance; };
  EXPECT_NEAR(got.left, pinned.left, allowed(pinned.left)) << a.pitch << ", " << a.roll;
  EXPECT_NEAR(got.right, pinned.right, allowed(pinned.right)) << a.pitch << ", " << a.roll;
  EXPECT_NEAR(got.third, pinned.third, allowed(pinned.third)) << a.pitch << ", " << a.roll;
}

TEST(Planner, TargetsOfTheKnownAttitudes) {
  expectTargets({10, 0}, {217.862f, 217.862f, 93.057f});
  expectTargets({0, 10}, {221.322f, 98.414f, 150});
  expectTargets({20, -20}, {219.190f, 300, 43.903f});
  // A pitch outside the gate counts as none, exactly; just past the gate as far past it.
  const motion::Targets level = motion::computeTargets(0, 10);
  for (float pitch : {25.0f, 20.0001f, -20.0001f}) expectTargets({pitch, 10}, level, 0.0);
}

TEST(Planner, PositionsAreTruncatedHundredthsWithTheSignReversed) {
  EXPECT_EQ(motion::controllerPosition(0.29f), -28);  // 0.29f is just under 0.29
}

TEST(Planner, SpeedIsScaledFromTheSettingsAndTruncated) {
  // Roll 10 gives the right side a ratio of about 0.72329.
  const std::vector<Command> right = run(Side::Right, {{0, 10}}, {1000, 10});
  EXPECT_EQ(right[0], (Command{723, 7, -9841}));
  const std::vector<Command> still = run(Side::Right, {{0, 10}}, {0, 0});
  EXPECT_EQ(still[0], (Command{0, 0, -9841}));
}

// The soft start: from the gentle limits at the first angles, linearly to the full ones.
TEST(RidePolicy, RampRisesFromTheGentleLimitsToTheFullOnes) {
  const motion::MotionLimits full{20000, 33};
  const motion::RidePolicy ramp{10, 2, 0, 0};
  const struct {
    double elapsed;
    motion::MotionLimits limits;
  } steps[] = {{0.0, {2000, 3}},    {0.5, {6500, 10}},    {1.0, {11000, 18}},
               {1.999, {19991, 32}}, {2.0, {20000, 33}}, {60.0, {20000, 33}}};
  for (const auto& step : steps) {
    const motion::MotionLimits got = motion::rampedLimits(full, ramp, step.elapsed);
    EXPECT_EQ(got.maxSpeed, step.limits.maxSpeed) << step.elapsed;
    EXPECT_EQ(got.maxAcceleration, step.limits.maxAcceleration) << step.elapsed;
  }
  EXPECT_EQ(motion::rampedLimits(full, motion::RidePolicy{10, 0, 0, 0}, 0.0).maxSpeed, 20000);
  // Small full limits: the ramp starts from gentle limits of 1, not 0.
  const struct {
    double elapsed;
    motion::MotionLimits limits;
  } small[] = {{0.0, {1, 1}}, {1.0, {5, 3}}, {2.0, {9, 5}}};
  for (const auto& step : small) {
    const motion::MotionLimits got = motion::rampedLimits({9, 5}, ramp, step.elapsed);
    EXPECT_EQ(got.maxSpeed, step.limits.maxSpeed) << step.elapsed;
    EXPECT_EQ(got.maxAcceleration, step.limits.maxAcceleration) << step.elapsed;
  }
}

// The percentage of each full limit, rounded down, but never below 1 unless the full limit is 0.
TEST(RidePolicy, GentleLimitsAreNeverZeroWhereTheFullLimitIsNot) {
  const struct {
    motion::MotionLimits full;
    std::int32_t percent;
    motion::MotionLimits gentle;
  } cases[] = {
      {{20000, 33}, 10, {2000, 3}},  {{20000, 5}, 10, {2000, 1}},   {{9, 33}, 10, {1, 3}},
      {{20000, 33}, 1, {200, 1}},    {{15, 9}, 50, {7, 4}},         {{20000, 33}, 100, {20000, 33}},
      {{0, 0}, 10, {0, 0}},          {{0, 33}, 1, {0, 1}},          {{1, 1}, 1, {1, 1}},
  };
  for (const auto& c : cases) {
    const motion::MotionLimits got = motion::gentleLimits(c.full, motion::RidePolicy{c.percent, 0, 0, 0});
    EXPECT_EQ(got.maxSpeed, c.gentle.maxSpeed) << c.full.maxSpeed << " at " << c.percent << " %";
    EXPECT_EQ(got.maxAcceleration, c.gentle.maxAcceleration)
        << c.full.maxAcceleration << " at " << c.percent << " %";
  }
}

// With a soft start, a first datagram that moves nothing is not sent at full speed either.
TEST(Ride, StartsAtTheGentleSpeedWhenRamping) {
  for (const std::int32_t ramp : {0, 2}) {
    motion::Ride ride(Side::Right, {20000, 33}, motion::RidePolicy{10, ramp, 0, 0});
    Recorder recorder;
    recorder(ride.angles(0, 0, 5.0));
    EXPECT_EQ(recorder.commands,
              (std::vector<Command>{ramp > 0 ? Command{2000, 3, -15000} : Command{20000, 33, -15000}}));
  }
}

// While the ramp runs, a side that moves little (or not at all) is still commanded at least 1;
// after it, the planner's scaling alone, 0 included.
TEST(Ride, RampNeverScalesALimitDownToZero) {
  motion::Ride ride(Side::Right, {20000, 33}, motion::RidePolicy{10, 2, 0, 0});
  Recorder recorder;
  recorder(ride.angles(-10, -5, 0.0));  // gentle 2000 3, the right's share about 0.277
  recorder(ride.angles(20, -20, 0.5));  // a quarter up the ramp: 6500 10, the right moves most
  recorder(ride.angles(20, -19, 1.0));  // the right held at the 300 mm clamp: share 0
  recorder(ride.angles(20, -20, 2.0));  // past the ramp
  EXPECT_EQ(recorder.commands, (std::vector<Command>{{553, 1, -12638},
                                                     {6500, 10, -30000},
                                                     {1, 1, -30000},
                                                     {0, 0, -30000}}));
}

// The level move, for silence and for a stop, goes at exactly the gentle limits: not the last
// full speed when the seat is level already, not scaled down by this side's share of the move.
TEST(Ride, LevelsAtExactlyTheGentleLimits) {
  const struct {
    const char* name;
    Side side;
    motion::MotionLimits full;
    Angles before;
    Command riding;
    Command level;
  } cases[] = {
      {"already level", Side::Left, {20000, 33}, {0, 0}, {20000, 33, -15000}, {2000, 3, -15000}},
      {"the right moves less", Side::Right, {20000, 33}, {0, 10}, {14465, 23, -9841},
       {2000, 3, -15000}},
      {"acceleration 5", Side::Right, {20000, 5}, {0, 10}, {14465, 3, -9841}, {2000, 1, -15000}},
      {"speed 9", Side::Left, {9, 33}, {10, 0}, {9, 33, -21786}, {1, 3, -15000}},
  };
  for (const auto& c : cases) {
    for (const bool forStop : {false, true}) {
      motion::Ride ride(c.side, c.full, motion::RidePolicy{10, 0, 1, 3});
      Recorder recorder;
      recorder(ride.angles(c.before.pitch, c.before.roll, 10.0));
      if (forStop) {
        recorder(ride.levelForStop(11.0));
      } else {
        recorder(ride.levelWhenIdle(11.0));
      }
      EXPECT_EQ(recorder.commands, (std::vector<Command>{c.riding, c.level}))
          << c.name << (forStop ? ", for a stop" : ", for silence");
    }
  }
}

// A ride in time: gentle 10 %, a 2 s ramp, level after 1 s of silence and before closing.
TEST(Ride, RampsLevelsForSilenceRampsAgainAndLevelsBeforeClosing) {
  motion::Ride ride(Side::Left, {20000, 33}, motion::RidePolicy{10, 2, 1, 3});
  Recorder recorder;
  // Homed, no angles yet: no silence to level for, nothing to level before closing.
  EXPECT_TRUE(std::isinf(ride.levelDeadline()));
  EXPECT_FALSE(ride.levelsBeforeClosing());

  recorder(ride.angles(10, 0, 100.0));  // the ramp starts at the gentle limits
  recorder(ride.angles(0, 0, 101.0));   // half way up the ramp
  recorder(ride.angles(10, 0, 101.75));  // before the silence limit, which moves on
  EXPECT_DOUBLE_EQ(ride.levelDeadline(), 102.75);
  recorder(ride.angles(0, 0, 102.5));   // past the ramp: full limits
  recorder(ride.angles(10, 0, 102.6));
  EXPECT_TRUE(ride.levelsBeforeClosing());
  recorder(ride.levelWhenIdle(103.6));  // pitched, so the level move is a real one
  EXPECT_EQ(ride.phase(), motion::Ride::Phase::LevelledWhenIdle);
  EXPECT_TRUE(std::isinf(ride.levelDeadline())) << "levels once per silence";
  EXPECT_FALSE(ride.levelsBeforeClosing()) << "already level";
  recorder(ride.angles(10, 0, 200.0));  // the ramp starts again
  recorder(ride.levelForStop(200.5));
  EXPECT_EQ(recorder.commands, (std::vector<Command>{{2000, 3, -21786},
                                                     {11000, 18, -15000},
                                                     {17750, 29, -21786},
                                                     {20000, 33, -15000},
                                                     {20000, 33, -21786},
                                                     {2000, 3, -15000},
                                                     {2000, 3, -21786},
                                                     {2000, 3, -15000}}));
}

}  // namespace

namespace {

// An angle past the working range is held at its edge when asked, and counts as level otherwise;
// one that is not a number always counts as level.
TEST(RidePolicy, AnglesPastTheRangeAreHeldAtItsEdgeOnlyWhenAsked) {
  const struct {
    float angle;
    float held;  // what the planner sees with holdOverRange=1
    float goal;  // where maxAngleRate leads the axis, holdOverRange=1 and 0
    float goalUnheld;
  } cases[] = {
      {20.5f, 20.0f, 20.0f, 0.0f},     {-35.0f, -20.0f, -20.0f, 0.0f},
      {20.0f, 20.0f, 20.0f, 20.0f},    {-7.25f, -7.25f, -7.25f, -7.25f},
      {INFINITY, 20.0f, 20.0f, 0.0f},  {NAN, NAN, 0.0f, 0.0f},
  };
  const motion::RidePolicy hold{10, 0, 0, 0, 0, 1, 0}, off{};
  for (const auto& c : cases) {
    const float held = motion::heldAngle(c.angle, hold);
    EXPECT_TRUE(held == c.held || (std::isnan(held) && std::isnan(c.held))) << c.angle;
    const float unheld = motion::heldAngle(c.angle, off);
    EXPECT_TRUE(unheld == c.angle || (std::isnan(unheld) && std::isnan(c.angle))) << c.angle;
    EXPECT_EQ(motion::angleGoal(c.angle, hold), c.goal) << c.angle;
    EXPECT_EQ(motion::angleGoal(c.angle, off), c.goalUnheld) << c.angle;
  }
}

// Under maxAngleRate=50 the attitude moves at most 50 degrees a second on each axis, moved on
// every 10 ms while it is behind: a step of 10 degrees arrives after 0.2 s and not before; a
// reversal half way turns it round where it is; the range's jump to level is led too; a move
// from rest goes one pace's way, and a turn late by a slow call catches up its time.
TEST(Ride, AttitudeFollowsAtTheRateAndArrives) {
  const motion::RidePolicy policy{10, 0, 0, 0, 50, 0, 0};
  const struct {
    const char* name;
    std::vector<std::pair<double, Angles>> sent;  // angles (seat) at times
    double arrives;                              // when the last angles are reached
    Angles last;
  } cases[] = {
      {"a step", {{0.0, {10, 0}}}, 0.2, {10, 0}},
      {"a step on both axes", {{0.0, {10, -5}}}, 0.2, {10, -5}},
      {"reversed half way", {{0.0, {10, 0}}, {0.1, {-10, 0}}}, 0.1 + 15.0 / 50, {-10, 0}},
      {"past the range, after 10", {{0.0, {10, 0}}, {0.2, {25, 0}}}, 0.4, {0, 0}},
  };
  for (const auto& c : cases) {
    motion::Ride ride(Side::Left, {20000, 33}, policy);
    const double start = 100.0;
    std::size_t next = 0;
    double arrived = -1.0;
    Angles was{0, 0};
    for (int pace = 0; pace <= 60; ++pace) {
      const double now = start + pace * motion::kAngleRatePace;
      if (next < c.sent.size() && now >= start + c.sent[next].first - 1e-9) {
        ride.angles(c.sent[next].second.pitch, c.sent[next].second.roll, now);
        ++next;
      } else if (now >= ride.nextStep() - 1e-9) {
        ride.step(now);
      }
      const motion::Ride::Attitude at = ride.attitude();
      EXPECT_LE(std::fabs(at.pitch - was.pitch), 0.5f + 1e-4f) << c.name << " at " << pace;
      EXPECT_LE(std::fabs(at.roll - was.roll), 0.5f + 1e-4f) << c.name << " at " << pace;
      was = {at.pitch, at.roll};
      if (arrived < 0 && next == c.sent.size() && at.pitch == c.last.pitch && at.roll == c.last.roll) {
        arrived = now - start;
      }
    }
    EXPECT_NEAR(arrived, c.arrives, motion::kAngleRatePace + 1e-9) << c.name;
    EXPECT_TRUE(std::isinf(ride.nextStep())) << c.name << ": nothing left to step";
  }
  motion::Ride ride(Side::Left, {20000, 33}, policy);
  ride.angles(10, 0, 500.0);
  EXPECT_FLOAT_EQ(ride.attitude().pitch, 0.5f);
  ride.step(500.05);
  EXPECT_FLOAT_EQ(ride.attitude().pitch, 3.0f);
}

// levelWithoutPartner: no angles followed before the other side's receiver runs; when it goes
// mid-ride, one level move at the gentle limits and no angles; when it is back, a new ramp.
TEST(Ride, WaitsForThePartnerLevelsWhenItGoesAndRampsWhenItIsBack) {
  motion::Ride ride(Side::Left, {20000, 33}, motion::RidePolicy{10, 2, 0, 0, 0, 0, 1});
  EXPECT_EQ(ride.phase(), motion::Ride::Phase::WaitingForPartner);
  EXPECT_FALSE(ride.followsAngles());
  EXPECT_FALSE(ride.partnerSeen(false, 1.0)) << "gone before it came: nothing has moved";
  EXPECT_FALSE(ride.partnerSeen(true, 2.0));
  EXPECT_EQ(ride.phase(), motion::Ride::Phase::WaitingForAngles);
  ASSERT_TRUE(ride.followsAngles());
  Recorder recorder;
  recorder(ride.angles(0, 10, 3.0));
  recorder(ride.angles(0, 10, 6.0));  // past the ramp
  const std::optional<motion::Move> level = ride.partnerSeen(false, 7.0);
  ASSERT_TRUE(level);
  recorder(*level);
  EXPECT_EQ(ride.phase(), motion::Ride::Phase::LevelledWithoutPartner);
  EXPECT_FALSE(ride.followsAngles());
  EXPECT_FALSE(ride.partnerSeen(false, 8.0)) << "levels once";
  EXPECT_FALSE(ride.partnerSeen(true, 9.0));
  recorder(ride.angles(0, 10, 10.0));  // the ramp again
  EXPECT_EQ(recorder.commands, (std::vector<Command>{{2000, 3, -22132},
                                                     {2000, 3, -22132},
                                                     {2000, 3, -15000},
                                                     {2000, 3, -22132}}));
}

}  // namespace
