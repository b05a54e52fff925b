// Feeds arbitrary datagram texts through the angle reader and the planner: no input may crash
// them, whatever they send the controller must stay within its ranges, and every field must
// read as glibc's strtof and strtod read it in the "C" locale, while the process is in a locale
// that writes "10,5", as a controller library may leave it.
#include <locale.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "motion/planner.h"
#include "net/angle_message.h"
#include "net/c_number.h"
#include "net/datagram_receiver.h"

namespace {

constexpr std::int32_t kDeepestPosition = -30000;
constexpr char kDatagramSeparator = '\n';
// The first input byte picks the settings: bit 0 the reversal, bits 1-2 and 3-4 the limits
// (a space or '!' gives the defaults, so seeds stay readable).
constexpr std::int32_t kSpeeds[] = {20000, 0, 1, 14465};
constexpr std::int32_t kAccels[] = {33, 0, 100, 1};

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Checks a move against the limits in force.
void checkMove(const motion::Move& move, const motion::MotionLimits& limits) {
  if (move.speed < 0 || move.speed > limits.maxSpeed) fail("speed outside 0..maximum");
  if (move.acceleration < 0 || move.acceleration > limits.maxAcceleration)
    fail("acceleration outside 0..maximum");
  if (move.position < kDeepestPosition || move.position > 0) fail("position outside -30000..0");
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Joining the fields with commas gives the text back, less one trailing comma.
void checkFields(std::string_view text) {
  const std::vector<std::string> fields = net::splitFields(text);
  std::string joined;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (fields[i].find(',') != std::string::npos) fail("a field holds a comma");
    if (i > 0) joined += ',';
    joined += fields[i];
  }
  std::string_view expected = text;
  if (!expected.empty() && expected.back() == ',') expected.remove_suffix(1);
  if (joined != expected) fail("fields do not join back to the text");
}

template <typename Real>
void checkNumber(const std::string& field, const net::NumberReading<Real>& read) {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char* end = nullptr;
  errno = 0;
  Real expected;
  if constexpr (sizeof(Real) == sizeof(float)) {
    expected = strtof_l(field.c_str(), &end, c);
  } else {
    expected = strtod_l(field.c_str(), &end, c);
  }
  const bool outOfRange = errno == ERANGE;
  const auto length = static_cast<std::size_t>(end - field.c_str());
  if (std::memcmp(&expected, &read.value, sizeof expected) != 0) {
    fail("a number's bits differ from strtof's");
  }
  if (read.length != length) fail("a number's length differs from strtof's");
  const net::NumberStatus status = length == 0 ? net::NumberStatus::NoNumber
                                   : outOfRange ? net::NumberStatus::OutOfRange
                                                : net::NumberStatus::Converted;
  if (read.status != status) fail("a number's range error differs from strtof's");
}

void checkTargets(const motion::Targets& t) {
  for (float stroke : {t.left, t.right, t.third}) {
    if (!(stroke >= 0.0f && stroke <= 300.0f)) fail("target outside 0..300");
  }
}

}  // namespace

// Where the locale exists (scripts/setup.sh makes it), the process runs in it.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "de_DE.UTF-8");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t header = data[0];
  const int reversal = header & 1;
  const motion::MotionLimits limits{kSpeeds[(header >> 1) & 3], kAccels[(header >> 3) & 3]};
  const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);

  checkFields(stream);

  // Several datagrams in a row, so the planner also runs from states other than rest.
  motion::PlannerState left = motion::initialPlannerState(limits);
  motion::PlannerState right = motion::initialPlannerState(limits);
  std::size_t start = 0;
  while (start <= stream.size()) {
    std::size_t end = stream.find(kDatagramSeparator, start);
    if (end == std::string::npos) end = stream.size();
    // What the receiver hands on: at most the buffer's worth, up to the first zero byte.
    std::string_view datagram(stream.data() + start, end - start);
    datagram = datagram.substr(0, net::kReceiveSize);
    datagram = datagram.substr(0, datagram.find('\0'));
    start = end + 1;

    for (const std::string& field : net::splitFields(datagram)) {
      checkNumber(field, net::readFloat(field));
      checkNumber(field, net::readDouble(field));
    }

    const auto kept = net::readAngles(datagram, 0);
    const auto reversed = net::readAngles(datagram, 1);
    if (kept.ok() != reversed.ok()) fail("reversal changed whether angles read");
    if (!kept) continue;
    if (!sameBits(reversed->pitch, -kept->pitch) || !sameBits(reversed->roll, -kept->roll))
      fail("reversal is not a sign flip");

    const net::AnglePair angles = reversal == 1 ? *reversed : *kept;
    checkTargets(motion::computeTargets(angles.pitch, angles.roll));
    checkMove(motion::planMove(angles.pitch, angles.roll, motion::Side::Left, limits, left), limits);
    checkMove(motion::planMove(angles.pitch, angles.roll, motion::Side::Right, limits, right), limits);
    checkTargets(left.previous);
  }
  return 0;
}
