// Reading the angle pair out of one datagram text.
#include "net/angle_message.h"

#include "net/c_number.h"

namespace net {
namespace {

constexpr char kFieldSeparator = ',';
constexpr std::size_t kAngleFields = 2;

// As C's strtof reads a field in the "C" locale, whatever locale a library has set: leading
// white space skipped, the longest numeric start converted, anything after it ignored.
platform::Result<float> convertField(const std::string& field) {
  const NumberReading<float> read = readFloat(field);
  if (read.status == NumberStatus::NoNumber) return platform::Failure{"invalid stof argument"};
  if (read.status == NumberStatus::OutOfRange) return platform::Failure{"stof argument out of range"};
  return read.value;
}

}  // namespace

// Reads fields the way a comma-delimited line reader does: every comma ends a field, and the
// end of the text ends the last one only if it holds something.
std::vector<std::string> splitFields(std::string_view text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t comma = text.find(kFieldSeparator, start);
    if (comma == std::string_view::npos) {
      fields.emplace_back(text.substr(start));
      break;
    }
    fields.emplace_back(text.substr(start, comma - start));
    start = comma + 1;
  }
  return fields;
}

platform::Result<AnglePair> readAngles(std::string_view text) {
  const std::vector<std::string> fields = splitFields(text);
  if (fields.size() < kAngleFields) return platform::Failure{"fewer than two fields"};
  const platform::Result<float> pitch = convertField(fields[0]);
  if (!pitch) return pitch.failure();
  const platform::Result<float> roll = convertField(fields[1]);
  if (!roll) return roll.failure();
  return AnglePair{*pitch, *roll};
}

AnglePair withReversal(const AnglePair& sent, int reversal) {
  return reversal == 1 ? AnglePair{-sent.pitch, -sent.roll} : sent;
}

platform::Result<AnglePair> readAngles(std::string_view text, int reversal) {
  const platform::Result<AnglePair> sent = readAngles(text);
  if (!sent) return sent;
  return withReversal(*sent, reversal);
}

}  // namespace net
