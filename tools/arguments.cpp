// Command-line values are refused unless they are exactly what was asked for: a bench run with a
// mistyped rate or angle would quietly move the seat the wrong way.
#include "tools/arguments.h"

#include <cmath>

#include "net/c_number.h"

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

platform::Failure badValue(const std::string& name, const std::string& value,
                           const std::string& wanted) {
  return {name + " '" + value + "': " + wanted};
}

platform::Result<HostPort> parseHostPort(std::string_view text) {
  const platform::Failure refusal{"expected HOST:PORT with a port from 1 to 65535"};
  const std::size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return refusal;
  const std::string_view port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5) return refusal;
  unsigned long number = 0;
  for (const char c : port) {
    if (c < '0' || c > '9') return refusal;
    number = number * 10 + static_cast<unsigned long>(c - '0');
  }
  if (number < 1 || number > 65535) return refusal;
  return HostPort{std::string(text.substr(0, colon)), static_cast<std::uint16_t>(number)};
}

platform::Result<Asked> readCommandLine(int argc, const char* const* argv,
                                        const KnownOptions& known, const TakeOption& take,
                                        std::vector<std::string>* plain) {
  // The first "--" itself is dropped; what follows it is plain whatever it looks like.
  std::vector<std::string> arguments;
  std::size_t firstPlainOnly = static_cast<std::size_t>(argc);
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--" && firstPlainOnly == static_cast<std::size_t>(argc)) {
      firstPlainOnly = arguments.size();
      continue;
    }
    arguments.emplace_back(argv[i]);
  }
  const auto isOneOf = [](const std::vector<std::string>& names, const std::string& name) {
    for (const std::string& each : names) {
      if (name == each) return true;
    }
    return false;
  };
  for (std::size_t next = 0; next < arguments.size();) {
    const bool plainOnly = next >= firstPlainOnly;
    const std::string& argument = arguments[next++];
    if (plainOnly || argument.size() < 2 || argument[0] != '-' || parseNumber(argument) ||
        parseNumbers(argument, 2)) {
      if (plain == nullptr) return platform::Failure{"unexpected argument '" + argument + "'"};
      plain->push_back(argument);
      continue;
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (name == "--help" || name == "-h") return Asked::Help;
    if (name == "--version") return Asked::Version;
    std::string value;
    if (isOneOf(known.flags, name)) {
      if (equals != std::string::npos) return platform::Failure{name + " takes no value"};
    } else if (!isOneOf(known.withValue, name)) {
      return platform::Failure{"unknown option " + name};
    } else if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (next < arguments.size()) {
      value = arguments[next++];
    } else {
      return platform::Failure{argument + " needs a value"};
    }
    const bool pairGoesOn = isOneOf(known.withPair, name) && parseNumber(value) &&
                            next < firstPlainOnly && next < arguments.size() &&
                            parseNumber(arguments[next]);
    if (pairGoesOn) value += "," + arguments[next++];
    if (std::optional<platform::Failure> refusal = take(name, value)) return *refusal;
  }
  return Asked::Run;
}

}  // namespace bench
