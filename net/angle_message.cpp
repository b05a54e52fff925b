// Reading the angle pair out of one datagram text.
#include "net/angle_message.h"

#include "net/c_number.h"

namespace net {
namespace {

constexpr char kFieldSeparator = ',';
constexpr std::size_t kAngleFields = 2;

// As C's strtof reads a field in the "C" locale, whatever locale a library has set: leading
// white space skipped, the longest numeric start converted, anything after it ignored.
std::optional<float> convertField(const std::string& field, std::string* error) {
  const NumberReading<float> read = readFloat(field);
  if (read.status == NumberStatus::NoNumber) {
    if (error) *error = "invalid stof argument";
    return std::nullopt;
  }
  if (read.status == NumberStatus::OutOfRange) {
    if (error) *error = "stof argument out of range";
    return std::nullopt;
  }
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

std::optional<AnglePair> readAngles(std::string_view text, int reversal, std::string* error) {
  const std::vector<std::string> fields = splitFields(text);
  if (fields.size() < kAngleFields) {
    if (error) *error = "fewer than two fields";
    return std::nullopt;
  }
  const std::optional<float> pitch = convertField(fields[0], error);
  if (!pitch) return std::nullopt;
  const std::optional<float> roll = convertField(fields[1], error);
  if (!roll) return std::nullopt;
  if (reversal == 1) return AnglePair{-*pitch, -*roll};
  return AnglePair{*pitch, *roll};
}

}  // namespace net
