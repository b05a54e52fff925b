// The --status line's text: what each report shows, and what goes first when it would not fit.
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "app/ride_log.h"
#include "app/status_line.h"

namespace {

using app::RunState;
using app::StatusFigures;

StatusFigures riding(double hertz, std::uint64_t skipped, float pitch, float roll) {
  StatusFigures figures;
  figures.state = RunState::Riding;
  figures.hertz = hertz;
  figures.skipped = skipped;
  figures.anglesSeen = true;
  figures.pitch = pitch;
  figures.roll = roll;
  figures.targetMm = 136.45f;
  figures.speed = 6101;
  return figures;
}

TEST(StatusText, FitsSeventyNineColumnsDroppingTheLeastNeededFirst) {
  struct Case {
    StatusFigures figures;
    std::string expected;
  };
  StatusFigures levelled = riding(99.6, 0, 1.4996f, 2.0f);
  levelled.state = RunState::LevelledWhenIdle;
  const float huge = std::numeric_limits<float>::max();
  for (const Case& c : {
           Case{riding(100.0, 0, 5.0f, -2.5f),
                "L_BrenikReceiver: riding, 100 Hz, 136.45 mm, angles 5.000,-2.500, speed 6101"},
           // Skipped texts matter more than the speed.
           Case{riding(1000.0, 12, 5.0f, -2.5f),
                "L_BrenikReceiver: riding, 1000 Hz, 12 skipped, 136.45 mm, angles 5.000,-2.500"},
           // Rounded, not cut; the longest state still shows its angles.
           Case{levelled,
                "L_BrenikReceiver: levelled after silence, 100 Hz, 136.45 mm, angles 1.500,2.000"},
           // Angles far outside the gates are written short, and then go before the target.
           Case{riding(3.0, 18446744073709551615u, huge, -huge),
                "L_BrenikReceiver: riding, 3 Hz, 18446744073709551615 skipped, 136.45 mm"},
           Case{riding(3.0, 0, std::numeric_limits<float>::quiet_NaN(), huge),
                "L_BrenikReceiver: riding, 3 Hz, 136.45 mm, angles nan,3.40e+38, speed 6101"},
       }) {
    const std::string text = app::statusText("L_BrenikReceiver", c.figures);
    EXPECT_EQ(text, c.expected);
    EXPECT_LE(text.size(), app::kStatusColumns) << text;
  }
}

}  // namespace

namespace {

// The ride log's watch on the datagram rate: a fall below half the recent rate for a whole window
// is said once, its coming back once; a rate too low to tell, or a dip to half, says nothing.
TEST(RateWatch, SaysAFallBelowHalfOnceAndItsComingBackOnce) {
  const struct {
    std::vector<double> windows;  // Hz, window by window
    std::vector<std::string> said;
  } cases[] = {
      {{100, 100, 100, 40, 30, 60, 100},
       {"the datagram rate fell to 40 Hz from 100 Hz", "the datagram rate is back at 60 Hz"}},
      {{100, 50, 100, 51}, {}},
      {{0, 0, 100, 100, 100, 100, 100, 0},
       {"the datagram rate fell to 0 Hz from 100 Hz"}},  // the recent rate: the last five windows
      {{1.5, 1.5, 0}, {}},
  };
  for (const auto& c : cases) {
    app::RateWatch watch;
    std::vector<std::string> said;
    for (const double hertz : c.windows) {
      if (const auto line = watch.window(hertz)) said.push_back(*line);
    }
    EXPECT_EQ(said, c.said) << c.windows.size() << " windows";
  }
}

}  // namespace
