// What brenik-strokes is asked to compute, read from its command line.
#pragma once

#include <string>
#include <vector>

#include "platform/failure.h"
#include "tools/arguments.h"

namespace bench {

// FROM:TO:STEP in degrees, or a single value.
struct AngleRange {
  double from;
  double to;
  double step;
};

// Values in FROM:TO:STEP; infinite for a range too long to count.
double rowCount(const AngleRange& range);

// Values from FROM up to TO, each computed from the start so that steps do not add up errors;
// the allowance in the count never carries one past TO.
std::vector<double> rangeValues(const AngleRange& range);

struct StrokeOptions {
  AngleRange pitch{0.0, 0.0, 1.0};
  AngleRange roll{0.0, 0.0, 1.0};
  bool table = false;  // ranges given: one row per angle pair
  bool asSent = false;  // the angles are a datagram's, the reversal still to be applied
  int reversal = 1;     // axisReversalMode, used with asSent
  bool csv = false;
};

struct StrokeCommand {
  Asked asked = Asked::Run;
  StrokeOptions options;
};

// The command, or the refusal in one line.
platform::Result<StrokeCommand> parseStrokeArguments(int argc, const char* const* argv);

extern const char* const kStrokesUsage;

}  // namespace bench
