// Reading a motion program's datagram strictly: a text that does not match the form exactly is
// refused rather than guessed, since a guess moves the seat somewhere nobody asked for.
#include "tools/relay_conversion.h"

#include <array>
#include <charconv>
#include <cmath>
#include <optional>

#include "net/c_number.h"

namespace bench {
namespace {

using Numbers = RelayForm::Numbers;

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view skipBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  return text;
}

bool startsWith(std::string_view text, std::string_view start) {
  return text.substr(0, start.size()) == start;
}

// The number at the start of `text`, after blanks: a sign, then digits and, for degrees, the
// decimal mark. `text` is left just after it.
std::string_view takeNumber(std::string_view& text, const RelayForm& form) {
  text = skipBlanks(text);
  std::size_t end = 0;
  if (end < text.size() && (text[end] == '-' || text[end] == '+')) ++end;
  while (end < text.size() &&
         (isDigit(text[end]) || (form.numbers == Numbers::Degrees && text[end] == form.decimalMark))) {
    ++end;
  }
  const std::string_view number = text.substr(0, end);
  text.remove_prefix(end);
  return number;
}

RelayRefusal notTheForm() {
  return {{"not PREFIX NUMBER SEPARATOR NUMBER SUFFIX as told"}, false};
}

struct Reading {
  enum class Status { Read, NotANumber, OutOfRange } status;
  double degrees;
};

// An integer of the range, as degrees from its centre: below the centre the minimum is
// -fullScale, above it the maximum is +fullScale, each side a straight line of its own.
Reading integerDegrees(std::string_view number, const RelayForm& form) {
  const bool negative = !number.empty() && number.front() == '-';
  if (!number.empty() && (number.front() == '-' || number.front() == '+')) number.remove_prefix(1);
  if (number.empty()) return {Reading::Status::NotANumber, 0.0};
  std::int64_t magnitude = 0;
  for (const char digit : number) {
    // Held just past the widest range: beyond it every value is outside alike.
    if (magnitude <= kMaxRelayInteger) magnitude = magnitude * 10 + (digit - '0');
  }
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < form.minimum || value > form.maximum) return {Reading::Status::OutOfRange, 0.0};
  const double offset = static_cast<double>(value) - form.centre;
  const double halfSpan = offset >= 0.0 ? static_cast<double>(form.maximum) - form.centre
                                        : form.centre - static_cast<double>(form.minimum);
  return {Reading::Status::Read, form.fullScale * offset / halfSpan};
}

// Degrees as the token holds them, the mark read as a point: strtod's reading must take it whole,
// so a second mark, a lone sign or no digit at all is no number.
Reading textDegrees(std::string_view number, const RelayForm& form) {
  std::array<char, kMaxRelayNumber> pointed{};
  if (number.size() > pointed.size()) return {Reading::Status::NotANumber, 0.0};
  for (std::size_t i = 0; i < number.size(); ++i) {
    pointed[i] = number[i] == form.decimalMark ? '.' : number[i];
  }
  const std::string_view text(pointed.data(), number.size());
  const net::NumberReading<double> read = net::readDouble(text);
  if (read.status != net::NumberStatus::Converted || read.length != text.size()) {
    return {Reading::Status::NotANumber, 0.0};
  }
  return {Reading::Status::Read, read.value};
}

}  // namespace

platform::Result<RelayAngles, RelayRefusal> readRelayDatagram(std::string_view datagram,
                                                              const RelayForm& form) {
  if (datagram.size() > kMaxRelayDatagram) {
    return RelayRefusal{{"longer than " + std::to_string(kMaxRelayDatagram) + " bytes"}, false};
  }
  while (!datagram.empty() && (datagram.back() == '\r' || datagram.back() == '\n')) {
    datagram.remove_suffix(1);
  }
  const std::size_t frame = form.prefix.size() + form.suffix.size();
  if (datagram.size() < frame || !startsWith(datagram, form.prefix) ||
      datagram.substr(datagram.size() - form.suffix.size()) != form.suffix) {
    return notTheForm();
  }
  std::string_view rest = datagram.substr(form.prefix.size(), datagram.size() - frame);
  const std::string_view first = takeNumber(rest, form);
  // The separator as given, or after blanks when it is no blank itself.
  if (!startsWith(rest, form.separator)) rest = skipBlanks(rest);
  if (!startsWith(rest, form.separator)) return notTheForm();
  rest.remove_prefix(form.separator.size());
  const std::string_view second = takeNumber(rest, form);
  if (!skipBlanks(rest).empty() || first.size() > kMaxRelayNumber ||
      second.size() > kMaxRelayNumber) {
    return notTheForm();
  }

  const auto read = [&form](std::string_view number) {
    return form.numbers == Numbers::Integers ? integerDegrees(number, form)
                                             : textDegrees(number, form);
  };
  const Reading a = read(first);
  const Reading b = read(second);
  if (a.status == Reading::Status::NotANumber || b.status == Reading::Status::NotANumber) {
    return notTheForm();
  }
  if (a.status == Reading::Status::OutOfRange || b.status == Reading::Status::OutOfRange) {
    return RelayRefusal{{"an integer outside " + std::to_string(form.minimum) + ".." +
                         std::to_string(form.maximum)},
                        true};
  }
  return form.rollFirst ? RelayAngles{b.degrees, a.degrees} : RelayAngles{a.degrees, b.degrees};
}

std::string relayMessage(const RelayAngles& angles) {
  const auto write = [](double degrees) {
    // Values that print as zero are written without a sign, so a level seat reads "0.000".
    if (std::fabs(degrees) < 0.0005) degrees = 0.0;
    std::array<char, 64> text{};
    const auto written = std::to_chars(text.data(), text.data() + text.size(), degrees,
                                       std::chars_format::fixed, 3);
    return std::string(text.data(), written.ptr);
  };
  return write(angles.pitch) + "," + write(angles.roll);
}

}  // namespace bench
