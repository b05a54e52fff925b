// brenik-strokes: the receivers' geometry and planner, run for angles typed on the command line.
#include "tools/stroke_table.h"

#include <cmath>
#include <cstdio>

#include "motion/planner.h"
#include "net/angle_message.h"

namespace bench {
namespace {

// A datagram field with enough digits to carry every single-precision value unchanged.
std::string datagramField(double angle) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", angle);
  return text;
}

// "%.3f" without a sign on values that print as zero.
std::string fixed3(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", std::fabs(value) < 0.0005 ? 0.0 : value);
  return text;
}

std::string angleNote(const StrokeOptions& options) {
  if (!options.asSent) {
    return "Angles are the planner's: after the receivers' reversal (a receiver with\n"
           "axisReversalMode=1 gets them from a datagram carrying the negated angles).\n";
  }
  return std::string("Angles are as sent in a datagram; axisReversalMode=") +
         std::to_string(options.reversal) +
         (options.reversal == 1 ? " negates them before the planner.\n"
                                : " passes them to the planner unchanged.\n");
}

}  // namespace

StrokeRow strokeRow(double pitch, double roll, const StrokeOptions& options) {
  StrokeRow row{pitch, roll, 0, 0, 0, 0, 0, 0, 0, {}, {}};
  if (options.asSent) {
    // Exactly what a receiver does with the datagram: its own reader applies the reversal.
    row.datagram = datagramField(pitch) + "," + datagramField(roll);
    const platform::Result<net::AnglePair> angles = net::readAngles(row.datagram, options.reversal);
    if (!angles) {
      row.dropped = angles.failure().reason;
      return row;
    }
    row.pitch = angles->pitch;
    row.roll = angles->roll;
  } else {
    row.pitch = static_cast<float>(pitch);
    row.roll = static_cast<float>(roll);
  }
  const motion::Targets targets = motion::computeTargets(row.pitch, row.roll);
  row.left = targets.left;
  row.right = targets.right;
  row.third = targets.third;
  row.leftPosition = motion::controllerPosition(targets.left);
  row.rightPosition = motion::controllerPosition(targets.right);
  return row;
}

std::vector<StrokeRow> strokeRows(const StrokeOptions& options) {
  std::vector<StrokeRow> rows;
  for (const double pitch : rangeValues(options.pitch)) {
    for (const double roll : rangeValues(options.roll)) rows.push_back(strokeRow(pitch, roll, options));
  }
  return rows;
}

std::string formatStrokes(const std::vector<StrokeRow>& rows, const StrokeOptions& options) {
  std::string out;
  char line[200];
  if (options.csv) {
    out = options.asSent ? "sent_pitch,sent_roll,pitch,roll" : "pitch,roll";
    out += ",left_mm,right_mm,third_mm,left_position,right_position";
    out += options.asSent ? ",moves_nothing_because\n" : "\n";
    for (const StrokeRow& row : rows) {
      if (options.asSent) out += row.datagram + ",";
      if (!row.dropped.empty()) {
        out += ",,,,,,," + row.dropped + "\n";
        continue;
      }
      std::snprintf(line, sizeof line, "%s,%s,%.3f,%.3f,%.3f,%d,%d", fixed3(row.pitch).c_str(),
                    fixed3(row.roll).c_str(), static_cast<double>(row.left),
                    static_cast<double>(row.right), static_cast<double>(row.third),
                    static_cast<int>(row.leftPosition), static_cast<int>(row.rightPosition));
      out += line;
      out += options.asSent ? ",\n" : "\n";
    }
    return out;
  }

  const std::string movesNothing = "a receiver moves nothing for it: ";
  out = angleNote(options);
  if (!options.table) {
    const StrokeRow& row = rows.front();
    if (options.asSent) out += "Datagram \"" + row.datagram + "\" -> ";
    if (!row.dropped.empty()) return out + movesNothing + row.dropped + "\n";
    out += "planner pitch " + fixed3(row.pitch) + ", roll " + fixed3(row.roll) + "\n\n";
    out += "actuator  target (mm)  position (0.01 mm)  sent by\n";
    std::snprintf(line, sizeof line, "left      %11.3f  %18d  L_BrenikReceiver\n",
                  static_cast<double>(row.left), static_cast<int>(row.leftPosition));
    out += line;
    std::snprintf(line, sizeof line, "right     %11.3f  %18d  R_BrenikReceiver\n",
                  static_cast<double>(row.right), static_cast<int>(row.rightPosition));
    out += line;
    std::snprintf(line, sizeof line, "third     %11.3f  %18s  neither\n",
                  static_cast<double>(row.third), "-");
    out += line;
    return out;
  }

  out += "Targets in mm; positions in 0.01 mm, sign reversed, as move_abs gets them.\n\n";
  out += options.asSent ? "  sent pitch  sent roll" : "";
  out += "     pitch      roll      left     right     third  L position  R position\n";
  for (const StrokeRow& row : rows) {
    if (options.asSent) {
      std::snprintf(line, sizeof line, "%12s %10s", datagramField(row.sentPitch).c_str(),
                    datagramField(row.sentRoll).c_str());
      out += line;
    }
    if (!row.dropped.empty()) {
      out += "  " + movesNothing + row.dropped + "\n";
      continue;
    }
    std::snprintf(line, sizeof line, "%10s %9s %9.3f %9.3f %9.3f %11d %11d\n",
                  fixed3(row.pitch).c_str(), fixed3(row.roll).c_str(),
                  static_cast<double>(row.left), static_cast<double>(row.right),
                  static_cast<double>(row.third), static_cast<int>(row.leftPosition),
                  static_cast<int>(row.rightPosition));
    out += line;
  }
  return out;
}

}  // namespace bench
