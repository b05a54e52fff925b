// The --status line's text: what each report shows, and what goes first when it would not fit.
#include <gtest/gtest.h>

#include <limits>

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
  levelled.state = RunState::LevelledAfterSilence;
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
