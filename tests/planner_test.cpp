// The planner as sequences of datagrams for both sides, against a recording controller.
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "motion/planner.h"
#include "motion/platform_geometry.h"
#include "motion/stroke_geometry.h"

namespace {

using motion::Side;

struct Command {
  std::int32_t speed;
  std::int32_t acceleration;
  std::int32_t position;
  bool operator==(const Command& other) const {
    return speed == other.speed && acceleration == other.acceleration && position == other.position;
  }
};

std::ostream& operator<<(std::ostream& out, const Command& c) {
  return out << "{" << c.speed << ", " << c.acceleration << ", " << c.position << "}";
}

// Pairs each write_velocity with the move_abs after it; a lone or reordered call shows up.
class Recorder : public motion::ActuatorCommands {
 public:
  void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
    EXPECT_FALSE(pending_) << "two velocity commands without a move between them";
    pending_ = true;
    commands.push_back({speed, acceleration, 0});
  }
  void moveAbs(std::int32_t position) override {
    ASSERT_TRUE(pending_) << "a move without its velocity command first";
    pending_ = false;
    commands.back().position = position;
  }
  std::vector<Command> commands;

 private:
  bool pending_ = false;
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
    motion::planAndCommand(a.pitch, a.roll, side, limits, state, recorder);
  }
  return recorder.commands;
}

struct Scenario {
  const char* name;
  std::vector<Angles> sequence;
  std::vector<Command> left;
  std::vector<Command> right;
};

class PlannerScenario : public ::testing::TestWithParam<Scenario> {};

TEST_P(PlannerScenario, CommandsBothSides) {
  EXPECT_EQ(run(Side::Left, GetParam().sequence), GetParam().left);
  EXPECT_EQ(run(Side::Right, GetParam().sequence), GetParam().right);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, PlannerScenario,
    ::testing::Values(
        Scenario{"Level", {{0, 0}}, {{20000, 33, -15000}}, {{20000, 33, -15000}}},
        // Equal front moves: both run at full speed.
        Scenario{"PitchTen", {{10, 0}}, {{20000, 33, -21786}}, {{20000, 33, -21786}}},
        // The right actuator moves less than the left and is slowed in proportion.
        Scenario{"RollTen", {{0, 10}}, {{20000, 33, -22132}}, {{14465, 23, -9841}}},
        Scenario{"SameTwice",
                 {{0, 10}, {0, 10}},
                 {{20000, 33, -22132}, {20000, 33, -22132}},
                 {{14465, 23, -9841}, {14465, 23, -9841}}},
        // Own target clamped at 300 while the other front target moves: ratio 0, kept after.
        Scenario{"OwnChangeZero",
                 {{20, -20}, {20, -19}, {20, -19}},
                 {{9225, 15, -21918}, {20000, 33, -22132}, {20000, 33, -22132}},
                 {{20000, 33, -30000}, {0, 0, -30000}, {0, 0, -30000}}},
        // Not a number fails both gates: everything stays at rest.
        Scenario{"NotANumber",
                 {{std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}},
                 {{20000, 33, -15000}},
                 {{20000, 33, -15000}}}),
    [](const ::testing::TestParamInfo<Scenario>& scenario) { return scenario.param.name; });

TEST(Planner, TargetsOfTheKnownAttitudes) {
  const motion::Targets tenPitch = motion::computeTargets(10, 0);
  EXPECT_NEAR(tenPitch.left, 217.862f, 0.001);
  EXPECT_NEAR(tenPitch.right, 217.862f, 0.001);
  EXPECT_NEAR(tenPitch.third, 93.057f, 0.001);

  const motion::Targets tenRoll = motion::computeTargets(0, 10);
  EXPECT_NEAR(tenRoll.left, 221.322f, 0.001);
  EXPECT_NEAR(tenRoll.right, 98.414f, 0.001);
  EXPECT_EQ(tenRoll.third, 150.0f);

  const motion::Targets corner = motion::computeTargets(20, -20);
  EXPECT_NEAR(corner.left, 219.190f, 0.001);
  EXPECT_EQ(corner.right, 300.0f);
  EXPECT_NEAR(corner.third, 43.903f, 0.001);

  // Pitch outside the gate: only the roll terms move left and right.
  const motion::Targets gated = motion::computeTargets(25, 5);
  EXPECT_EQ(gated.left, motion::rollStroke(motion::kRollingRadius, 5, motion::kMountX, motion::kMountY) + 150.0f);
  EXPECT_EQ(gated.right, motion::rollStroke(motion::kRollingRadius, -5, motion::kMountX, motion::kMountY) + 150.0f);
  EXPECT_EQ(gated.third, 150.0f);

  // Just past the gate counts as far past it.
  const motion::Targets justOut = motion::computeTargets(20.0001f, 7);
  const motion::Targets farOut = motion::computeTargets(30, 7);
  EXPECT_EQ(justOut.left, farOut.left);
  EXPECT_EQ(justOut.right, farOut.right);
  EXPECT_EQ(justOut.third, 150.0f);
}

TEST(Planner, ThirdChangeCountsOnlyWhenTheFrontChangesAreEqual) {
  // Pitch -10 from rest: both fronts move the same, the third moves more, so the third change
  // is the reference and the fronts run slower than full speed.
  const motion::Targets a = motion::computeTargets(0, 0);
  const motion::Targets b = motion::computeTargets(-10, 0);
  const float dFront = std::fabs(b.left - a.left);
  const float dThird = std::fabs(b.third - a.third);
  ASSERT_EQ(std::fabs(b.right - a.right), dFront);
  ASSERT_GT(dThird, dFront);
  const float ratio = dFront / dThird;
  for (Side side : {Side::Left, Side::Right}) {
    const std::vector<Command> commands = run(side, {{-10, 0}});
    EXPECT_EQ(commands[0].speed, static_cast<std::int32_t>(20000.0f * ratio));
    EXPECT_EQ(commands[0].acceleration, static_cast<std::int32_t>(33.0f * ratio));
    EXPECT_EQ(commands[0].speed, 16781);
  }

  // With unequal front changes the larger front change is the reference: from pitch 10 to
  // pitch 5 roll 1 the right front moves most and runs at full speed.
  const motion::Targets ten = motion::computeTargets(10, 0);
  const motion::Targets c = motion::computeTargets(5, 1);
  ASSERT_GT(std::fabs(c.right - ten.right), std::fabs(c.left - ten.left));
  EXPECT_EQ(run(Side::Right, {{10, 0}, {5, 1}})[1].speed, 20000);
  EXPECT_LT(run(Side::Left, {{10, 0}, {5, 1}})[1].speed, 20000);
}

TEST(Planner, ThirdAloneChangingKeepsSpeedAndAcceleration) {
  // Both fronts held at 300 by the clamp while pitch changes the third target.
  const std::vector<Command> left = run(Side::Left, {{0, 10}, {20, 0}, {19.9f, 0}}, {20000, 33});
  const motion::Targets t1 = motion::computeTargets(20, 0);
  const motion::Targets t2 = motion::computeTargets(19.9f, 0);
  ASSERT_EQ(t1.left, t2.left);
  ASSERT_EQ(t1.right, t2.right);
  ASSERT_NE(t1.third, t2.third);
  EXPECT_EQ(left[2].speed, left[1].speed);
  EXPECT_EQ(left[2].acceleration, left[1].acceleration);
}

TEST(Planner, PositionsAreTruncatedHundredthsWithTheSignReversed) {
  EXPECT_EQ(motion::controllerPosition(0.29f), -28);  // 0.29f is just under 0.29
  EXPECT_EQ(motion::controllerPosition(150.0f), -15000);
  EXPECT_EQ(motion::controllerPosition(300.0f), -30000);
  EXPECT_EQ(motion::controllerPosition(0.0f), 0);
  EXPECT_EQ(motion::controllerPosition(217.862f), -21786);
}

TEST(Planner, SpeedIsScaledFromTheSettingsAndTruncated) {
  // Roll 10 gives the right side a ratio of about 0.72329.
  const std::vector<Command> right = run(Side::Right, {{0, 10}}, {1000, 10});
  EXPECT_EQ(right[0], (Command{723, 7, -9841}));
  const std::vector<Command> still = run(Side::Right, {{0, 10}}, {0, 0});
  EXPECT_EQ(still[0], (Command{0, 0, -9841}));
}

}  // namespace
