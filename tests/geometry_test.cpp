// Stroke geometry of the rolling seat against the seat's known strokes.
#include <cmath>

#include <gtest/gtest.h>

#include "motion/seat_geometry.h"
#include "motion/stroke_geometry.h"

namespace {

using motion::kSeat;

constexpr double kPi = 3.14159265359;

float pitch(float angle) { return motion::pitchStroke(kSeat, angle); }
float roll(float angle) { return motion::rollStroke(kSeat, angle); }

// Neither stroke is odd in the angle: -10 and 10 degrees differ by more than the sign.
struct KnownStroke {
  float angle;
  float pitch;
  float roll;
};

void PrintTo(const KnownStroke& k, std::ostream* out) {
  *out << k.angle << " degrees: pitch " << k.pitch << ", roll " << k.roll;
}

class KnownStrokes : public ::testing::TestWithParam<KnownStroke> {};

TEST_P(KnownStrokes, MatchWithinAThousandthOfAMillimetre) {
  EXPECT_NEAR(pitch(GetParam().angle), GetParam().pitch, 0.001);
  EXPECT_NEAR(roll(GetParam().angle), GetParam().roll, 0.001);
}

INSTANTIATE_TEST_SUITE_P(
    Table, KnownStrokes,
    ::testing::Values(KnownStroke{-20, -106.097f, -82.332f}, KnownStroke{-10, -56.943f, -51.586f},
                      KnownStroke{-1, -6.123f, -6.077f}, KnownStroke{0, 0, 0},
                      KnownStroke{1, 6.231f, 6.276f}, KnownStroke{10, 67.862f, 71.322f},
                      KnownStroke{20, 151.522f, 159.750f}));

TEST(StrokeGeometry, ZeroTiltIsExactlyZero) {
  EXPECT_EQ(pitch(0.0f), 0.0f);
  EXPECT_EQ(roll(0.0f), 0.0f);
  EXPECT_EQ(pitch(-0.0f), 0.0f);
  EXPECT_EQ(roll(-0.0f), 0.0f);
}

// Closed forms: the foot of the axis is where the rolling radius drops out of the pitch stroke.
TEST(StrokeGeometry, FollowsTheClosedFormsAcrossTheWorkingRange) {
  const double mx = kSeat.mount.x, my = kSeat.mount.y;
  for (int tenth = -200; tenth <= 200; ++tenth) {
    const float angle = static_cast<float>(tenth) / 10.0f;
    const double r = static_cast<double>(angle) * kPi / 180.0;
    const double radius = kSeat.rollingRadius;
    const double pitchClosed = mx * std::tan(r) + my * (1.0 - 1.0 / std::cos(r));
    const double rollClosed = (mx + radius * r) * std::sin(r) + my * (1.0 - std::cos(r));
    EXPECT_NEAR(pitch(angle), pitchClosed, 1e-4) << "pitch at " << angle;
    EXPECT_NEAR(roll(angle), rollClosed, 1e-4) << "roll at " << angle;
  }
}

TEST(StrokeGeometry, OutsideTheRangeTheAxisMissesTheFloorAndMeasuresFromZero) {
  EXPECT_NEAR(pitch(70.0f), 344.611f, 0.001);
}

TEST(StrokeGeometry, FloorParallelToTheAxisStillGivesAFiniteStroke) {
  // A vertical floor segment at x = 0 runs along the untilted axis and never meets it.
  motion::SeatGeometry upright = kSeat;
  upright.floorStart = {0.0f, -1000.0f};
  upright.floorEnd = {0.0f, 1000.0f};
  EXPECT_EQ(motion::pitchStroke(upright, 0.0f), 0.0f);
}

}  // namespace
