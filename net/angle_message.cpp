// Reading the angle pair out of one datagram text.
#include "net/angle_message.h"

#include <cerrno>
#include <cstdlib>

namespace net {
namespace {

constexpr char kFieldSeparator = ',';
constexpr std::size_t kAngleFields = 2;

// The C library's float conversion: leading white space skipped, the longest numeric prefix
// converted, anything after it ignored.
std::optional<float> convertField(const std::string& field, std::string* error) {
  const char* begin = field.c_str();
  char* end = nullptr;
  errno = 0;
  const float value = std::strtof(begin, &end);
  if (end == begin) {
    if (error) *error = "invalid stof argument";
    return std::nullopt;
  }
  if (errno == ERANGE) {
    if (error) *error = "stof argument out of range";
    return std::nullopt;
  }
  return value;
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
