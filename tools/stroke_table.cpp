// brenik-strokes: the receivers' geometry and planner, run for angles typed on the command line.
#include "tools/stroke_table.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "motion/planner.h"
#include "net/angle_message.h"
#include "tools/arguments.h"

namespace bench {
namespace {

// A table beyond this many rows (pitch values times roll values) is a typing mistake rather
// than a wish: about 10 MB of text.
constexpr double kMaxTableRows = 100000.0;

// The planner computes in single precision; no receiver hands it an angle beyond that.
constexpr double kMaxPlannerAngle = std::numeric_limits<float>::max();

// A datagram field with enough digits to carry every single-precision value unchanged.
std::string datagramField(double angle) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", angle);
  return text;
}

// Values in FROM:TO:STEP; infinite for a range too long to count.
double rowCount(const AngleRange& range) {
  return std::floor((range.to - range.from) / range.step + 1e-9) + 1.0;
}

bool parseRange(const std::string& text, AngleRange& range) {
  if (const std::optional<double> value = parseNumber(text)) {
    range = {*value, *value, 1.0};
    return true;
  }
  std::string withCommas = text;
  for (char& c : withCommas) {
    if (c == ':') c = ',';
  }
  const auto numbers = parseNumbers(withCommas, 3);
  if (!numbers) return false;
  range = {(*numbers)[0], (*numbers)[1], (*numbers)[2]};
  return range.step > 0.0 && range.from <= range.to;
}

// Values from FROM up to TO, each computed from the start so that steps do not add up errors;
// the allowance in the count never carries one past TO.
std::vector<double> rangeValues(const AngleRange& range) {
  std::vector<double> values;
  const auto count = static_cast<long long>(rowCount(range));
  for (long long i = 0; i < count; ++i) {
    values.push_back(std::fmin(range.from + static_cast<double>(i) * range.step, range.to));
  }
  return values;
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

StrokeCommand parseStrokeArguments(int argc, const char* const* argv) {
  StrokeCommand command;
  StrokeOptions& options = command.options;
  const auto refuse = [&command](const std::string& error) {
    command.action = StrokeCommand::Action::Refuse;
    command.error = error;
    return command;
  };
  ArgumentReader reader(argc, argv);
  std::vector<std::string> plain;
  bool pitchRange = false;
  bool rollRange = false;
  std::string name;
  std::string value;
  std::string error;
  while (!reader.done()) {
    if (!reader.nextIsOption(name)) {
      plain.push_back(reader.takePlain());
      continue;
    }
    if (name == "--help" || name == "-h") {
      command.action = StrokeCommand::Action::Help;
      return command;
    }
    if (name == "--version") {
      command.action = StrokeCommand::Action::Version;
      return command;
    }
    if (name == "--sent" || name == "--csv") {
      if (!reader.takeFlag(error)) return refuse(error);
      (name == "--csv" ? options.csv : options.asSent) = true;
      continue;
    }
    if (name != "--reversal" && name != "--pitch-range" && name != "--roll-range") {
      return refuse("unknown option " + name);
    }
    if (!reader.takeValue(value, error)) return refuse(error);
    if (name == "--reversal") {
      if (value != "0" && value != "1") return refuse("--reversal '" + value + "': expected 0 or 1");
      options.reversal = value == "1" ? 1 : 0;
      options.asSent = true;  // a reversal setting only means something for sent angles
    } else if (!parseRange(value, name == "--pitch-range" ? options.pitch : options.roll)) {
      return refuse(name + " '" + value +
                    "': expected FROM:TO:STEP (FROM up to TO, STEP above 0) or one value");
    } else {
      (name == "--pitch-range" ? pitchRange : rollRange) = true;
    }
  }

  options.table = pitchRange || rollRange;
  if (options.table) {
    if (!plain.empty()) return refuse("give PITCH ROLL or ranges, not both");
    // Refused on the product, before any row is made: each axis alone may look harmless.
    const double pitchRows = rowCount(options.pitch);
    const double rollRows = rowCount(options.roll);
    if (!(pitchRows * rollRows <= kMaxTableRows)) {
      char counts[160];
      std::snprintf(counts, sizeof counts,
                    "%.10g pitch x %.10g roll values make more than %.0f rows", pitchRows,
                    rollRows, kMaxTableRows);
      return refuse(std::string(pitchRange ? "--pitch-range" : "--roll-range") +
                    (pitchRange && rollRange ? " and --roll-range: " : ": ") + counts +
                    "; use a larger STEP or a shorter range");
    }
  } else {
    if (plain.size() != 2) return refuse("expected PITCH and ROLL in degrees");
    const std::optional<double> pitch = parseNumber(plain[0]);
    const std::optional<double> roll = parseNumber(plain[1]);
    if (!pitch) return refuse("PITCH '" + plain[0] + "': expected a number of degrees");
    if (!roll) return refuse("ROLL '" + plain[1] + "': expected a number of degrees");
    options.pitch = {*pitch, *pitch, 1.0};
    options.roll = {*roll, *roll, 1.0};
  }
  const bool beyondPlanner = std::fabs(options.pitch.from) > kMaxPlannerAngle ||
                             std::fabs(options.pitch.to) > kMaxPlannerAngle ||
                             std::fabs(options.roll.from) > kMaxPlannerAngle ||
                             std::fabs(options.roll.to) > kMaxPlannerAngle;
  if (beyondPlanner && !options.asSent) {
    return refuse("an angle beyond single precision (3.4e38 degrees) never reaches the planner; "
                  "use --sent to see what a datagram carrying it does");
  }
  command.action = StrokeCommand::Action::Compute;
  return command;
}

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

const char* const kStrokesUsage =
    R"(Usage: brenik-strokes [options] PITCH ROLL
       brenik-strokes [options] --pitch-range FROM:TO:STEP [--roll-range FROM:TO:STEP]

Prints the target strokes of the left, right and third actuators (mm, three decimals)
for an attitude, and the controller position (0.01 mm, sign reversed) that
L_BrenikReceiver and R_BrenikReceiver send for it. It runs the receivers' own planner
code, so the numbers are the ones the receivers command.

By default PITCH and ROLL (degrees) are the planner's angles, that is after the
receivers' reversal. The receivers' default axisReversalMode=1 negates both angles of
every datagram, so "brenik-strokes 10 0" is what a datagram "-10,0" commands.

Options:
  --sent                  read the angles as a datagram carries them and apply the
                          reversal the way a receiver does; a datagram the receivers'
                          reader refuses (a field beyond single precision, such as
                          1e39 or 1e-50) is reported as moving nothing, with the reason
  --reversal 0|1          the receivers' axisReversalMode for --sent (default 1);
                          implies --sent
  --pitch-range RANGE     a table over pitch; RANGE is FROM:TO:STEP or one value
  --roll-range RANGE      the same over roll; an axis without a range is 0;
                          a table has at most 100000 rows (pitch values x roll values)
  --csv                   comma-separated output for other programs
  -h, --help              show this help and exit
      --version           show the version and exit

Angles beyond 20 degrees either way are outside the working range and move nothing on
their axis, as in the receivers. Without --sent, angles beyond single precision are
refused: the planner never gets them.

Exit status: 0 on success (also when a datagram moves nothing), 1 when the output cannot
be written whole (a full disk, a closed pipe), 2 for bad arguments.

Examples:
  brenik-strokes 10 0
  brenik-strokes --sent -10 0          what a datagram "-10,0" commands
  brenik-strokes --pitch-range -20:20:5 --roll-range 0:10:5 --csv
)";

}  // namespace bench
