// What brenik-strokes computes: the receivers' targets and positions for given angles.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/stroke_options.h"

namespace bench {

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

}  // namespace bench
