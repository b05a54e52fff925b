// Command-line values are refused unless they are exactly what was asked for: a bench run with a
// mistyped rate or angle would quietly move the seat the wrong way.
#include "tools/arguments.h"

#include <cmath>
#include <cstdio>

#include "net/c_number.h"
#include "platform/console.h"

namespace bench {

std::optional<double> parseNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  // Plain decimal notation only: no blanks, hexadecimal, "inf" or "nan".
  for (const char c : text) {
    const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' ||
                         c == 'E';
    if (!allowed) return std::nullopt;
  }
  // As strtod reads it in the "C" locale, whatever the process's locale.
  const net::NumberReading<double> read = net::readDouble(text);
  if (read.length != text.size() || read.status != net::NumberStatus::Converted ||
      !std::isfinite(read.value)) {
    return std::nullopt;
  }
  return read.value;
}

std::optional<std::vector<double>> parseNumbers(std::string_view text, std::size_t count) {
  std::vector<double> values;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::optional<double> value = parseNumber(text.substr(start, comma - start));
    if (!value) return std::nullopt;
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (values.size() != count) return std::nullopt;
  return values;
}

std::optional<HostPort> parseHostPort(std::string_view text) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const std::string_view port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  unsigned long number = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned long>(c - '0');
  }
  if (number < 1 || number > 65535) return std::nullopt;
  return HostPort{std::string(text.substr(0, colon)), static_cast<std::uint16_t>(number)};
}

ArgumentReader::ArgumentReader(int argc, const char* const* argv) {
  firstPlainOnly_ = static_cast<std::size_t>(argc);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--" && firstPlainOnly_ == static_cast<std::size_t>(argc)) {
      firstPlainOnly_ = arguments_.size();
      continue;
    }
    arguments_.emplace_back(argv[i]);
  }
}

bool ArgumentReader::nextIsOption(std::string& name) const {
  if (done() || next_ >= firstPlainOnly_) return false;
  const std::string& argument = arguments_[next_];
  if (argument.size() < 2 || argument[0] != '-' || parseNumber(argument)) return false;
  name = argument.substr(0, argument.find('='));
  return true;
}

std::string ArgumentReader::takePlain() { return arguments_[next_++]; }

bool ArgumentReader::takeValue(std::string& value, std::string& error) {
  const std::string& argument = arguments_[next_++];
  const std::size_t equals = argument.find('=');
  if (equals != std::string::npos) {
    value = argument.substr(equals + 1);
    return true;
  }
  if (done()) {
    error = argument + " needs a value";
    return false;
  }
  value = arguments_[next_++];
  return true;
}

bool ArgumentReader::takeFlag(std::string& error) {
  const std::string& argument = arguments_[next_++];
  if (argument.find('=') != std::string::npos) {
    error = argument.substr(0, argument.find('=')) + " takes no value";
    return false;
  }
  return true;
}

int finishStandardOutput(const char* tool, int status) {
  const std::optional<platform::Failure> failure = platform::flushStandardOutput();
  if (!failure) return status;
  std::fprintf(stderr, "%s: cannot write the output: %s\n", tool, failure->reason.c_str());
  return kExitOutputFailed;
}

}  // namespace bench
