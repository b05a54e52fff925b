// brenik-strokes' command line: the angles, as one pair or as ranges, and how to show them.
#include "tools/stroke_options.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace bench {
namespace {

using platform::Failure;

// A table beyond this many rows (pitch values times roll values) is a typing mistake rather
// than a wish: about 10 MB of text.
constexpr double kMaxTableRows = 100000.0;

// The planner computes in single precision; no receiver hands it an angle beyond that.
constexpr double kMaxPlannerAngle = std::numeric_limits<float>::max();

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

}  // namespace

double rowCount(const AngleRange& range) {
  return std::floor((range.to - range.from) / range.step + 1e-9) + 1.0;
}

std::vector<double> rangeValues(const AngleRange& range) {
  std::vector<double> values;
  const auto count = static_cast<long long>(rowCount(range));
  for (long long i = 0; i < count; ++i) {
    values.push_back(std::fmin(range.from + static_cast<double>(i) * range.step, range.to));
  }
  return values;
}

platform::Result<StrokeCommand> parseStrokeArguments(int argc, const char* const* argv) {
  StrokeOptions options;
  std::vector<std::string> plain;
  bool pitchRange = false;
  bool rollRange = false;
  const TakeOption take = [&](const std::string& name,
                              const std::string& value) -> std::optional<Failure> {
    if (name == "--sent" || name == "--csv") {
      (name == "--csv" ? options.csv : options.asSent) = true;
    } else if (name == "--reversal") {
      if (value != "0" && value != "1") return badValue(name, value, "expected 0 or 1");
      options.reversal = value == "1" ? 1 : 0;
      options.asSent = true;  // a reversal setting only means something for sent angles
    } else if (!parseRange(value, name == "--pitch-range" ? options.pitch : options.roll)) {
      return badValue(name, value,
                      "expected FROM:TO:STEP (FROM up to TO, STEP above 0) or one value");
    } else {
      (name == "--pitch-range" ? pitchRange : rollRange) = true;
    }
    return std::nullopt;
  };
  const platform::Result<Asked> asked = readCommandLine(
      argc, argv, {{"--reversal", "--pitch-range", "--roll-range"}, {"--sent", "--csv"}, {}},
      take, &plain);
  if (!asked) return asked.failure();
  if (*asked != Asked::Run) return StrokeCommand{*asked, {}};

  options.table = pitchRange || rollRange;
  if (options.table) {
    if (!plain.empty()) return Failure{"give PITCH ROLL or ranges, not both"};
    // Refused on the product, before any row is made: each axis alone may look harmless.
    const double pitchRows = rowCount(options.pitch);
    const double rollRows = rowCount(options.roll);
    if (!(pitchRows * rollRows <= kMaxTableRows)) {
      char counts[160];
      std::snprintf(counts, sizeof counts,
                    "%.10g pitch x %.10g roll values make more than %.0f rows", pitchRows,
                    rollRows, kMaxTableRows);
      return Failure{std::string(pitchRange ? "--pitch-range" : "--roll-range") +
                     (pitchRange && rollRange ? " and --roll-range: " : ": ") + counts +
                     "; use a larger STEP or a shorter range"};
    }
  } else {
    // "5,0" as a datagram and brenik-send write it, or "5 0".
    if (plain.size() == 1 && plain[0].find(',') != std::string::npos) {
      const std::optional<std::vector<double>> pair = parseNumbers(plain[0], 2);
      if (!pair) return Failure{"'" + plain[0] + "': expected PITCH,ROLL in degrees"};
      plain = {plain[0].substr(0, plain[0].find(',')), plain[0].substr(plain[0].find(',') + 1)};
    }
    if (plain.size() != 2) return Failure{"expected PITCH and ROLL in degrees"};
    const std::optional<double> pitch = parseNumber(plain[0]);
    const std::optional<double> roll = parseNumber(plain[1]);
    if (!pitch) return Failure{"PITCH '" + plain[0] + "': expected a number of degrees"};
    if (!roll) return Failure{"ROLL '" + plain[1] + "': expected a number of degrees"};
    options.pitch = {*pitch, *pitch, 1.0};
    options.roll = {*roll, *roll, 1.0};
  }
  const bool beyondPlanner = std::fabs(options.pitch.from) > kMaxPlannerAngle ||
                             std::fabs(options.pitch.to) > kMaxPlannerAngle ||
                             std::fabs(options.roll.from) > kMaxPlannerAngle ||
                             std::fabs(options.roll.to) > kMaxPlannerAngle;
  if (beyondPlanner && !options.asSent) {
    return Failure{"an angle beyond single precision (3.4e38 degrees) never reaches the planner; "
                 "use --sent to see what a datagram carrying it does"};
  }
  return StrokeCommand{Asked::Run, options};
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

Angles beyond 20 degrees either way are outside the working range: the receivers take
such an angle as 0 on its axis, so that axis jumps to level. Without --sent, angles
beyond single precision are refused: the planner never gets them.

Exit status: 0 on success (also when a datagram moves nothing), 1 when the output cannot
be written whole (a full disk, a closed pipe), 2 for bad arguments.

Examples:
  brenik-strokes 10 0
  brenik-strokes --sent -10 0          what a datagram "-10,0" commands
  brenik-strokes --pitch-range -20:20:5 --roll-range 0:10:5 --csv
)";

}  // namespace bench
