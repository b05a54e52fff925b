// What brenik-strokes computes: the receivers' targets and positions for given angles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// FROM:TO:STEP in degrees, or a single value.
struct AngleRange {
  double from;
  double to;
  double step;
};

struct StrokeOptions {
  AngleRange pitch{0.0, 0.0, 1.0};
  AngleRange roll{0.0, 0.0, 1.0};
  bool table = false;  // ranges given: one row per angle pair
  bool asSent = false;  // the angles are a datagram's, the reversal still to be applied
  int reversal = 1;     // axisReversalMode, used with asSent
  bool csv = false;
};

struct StrokeCommand {
  enum class Action { Compute, Help, Version, Refuse };
  Action action = Action::Refuse;
  StrokeOptions options;
  std::string error;
};

StrokeCommand parseStrokeArguments(int argc, const char* const* argv);

struct StrokeRow {
  double sentPitch;  // as given on the command line
  double sentRoll;
  float pitch;  // as the planner takes them
  float roll;
  float left;
  float right;
  float third;
  std::int32_t leftPosition;   // what L_BrenikReceiver sends with move_abs
  std::int32_t rightPosition;  // what R_BrenikReceiver sends with move_abs
  std::string datagram;  // as sent: the text a receiver reads
  std::string dropped;   // as sent: why the receivers' reader gives nothing; empty when it moves
};

// One angle pair through the receivers' own message reader (when as sent) and planner. A
// datagram the reader refuses leaves the planner's fields at 0 and says why in `dropped`.
StrokeRow strokeRow(double pitch, double roll, const StrokeOptions& options);

std::vector<StrokeRow> strokeRows(const StrokeOptions& options);

std::string formatStrokes(const std::vector<StrokeRow>& rows, const StrokeOptions& options);

extern const char* const kStrokesUsage;

}  // namespace bench
