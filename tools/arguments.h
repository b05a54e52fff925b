// Reading the bench tools' command lines: one option reader for both tools, strict numbers,
// angle pairs and HOST:PORT.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace bench {

// The whole text as a finite decimal number ("12", "-0.5", "1e-3"); anything else is empty.
// Empty is an answer, not a failure: each option words its own refusal.
std::optional<double> parseNumber(std::string_view text);

// Comma-separated finite numbers, exactly `count` of them ("10,-5" for count 2).
std::optional<std::vector<double>> parseNumbers(std::string_view text, std::size_t count);

struct HostPort {
  std::string host;
  std::uint16_t port;
};

// "HOST:PORT" with a port in 1..65535; the host is not looked up here. The failure says what
// was expected.
platform::Result<HostPort> parseHostPort(std::string_view text);

// The longest run a tool is asked for: --duration, and the span of a replay's rows.
constexpr double kMaxDuration = 7.0 * 24.0 * 3600.0;

// The refusal of an option's value, worded alike in every tool: "--rate 'x': expected ...".
platform::Failure badValue(const std::string& name, const std::string& value,
                           const std::string& wanted);

// What a command line asks a tool for, when it is not refused.
enum class Asked { Run, Help, Version };

// The options a tool knows by name, besides -h/--help and --version.
struct KnownOptions {
  std::vector<std::string> withValue;  // "--rate 100" or "--rate=100"
  std::vector<std::string> flags;      // "--quiet"; "--quiet=yes" is refused
  // Of those with a value, the ones taking an angle pair: "--hold 5,0", or "--hold 5 0" handed
  // on as "5,0".
  std::vector<std::string> withPair;
};

// Takes one option, in command-line order: its name and its value (empty for a flag).
using TakeOption = std::function<std::optional<platform::Failure>(const std::string& name,
                                                                  const std::string& value)>;

// Reads argv from left to right; the first refusal or -h/--help/--version ends the reading.
// Plain arguments (a negative number or pair of numbers is one, and so is everything after "--")
// go to `plain`, or are refused when it is null.
platform::Result<Asked> readCommandLine(int argc, const char* const* argv,
                                        const KnownOptions& known, const TakeOption& take,
                                        std::vector<std::string>* plain);

}  // namespace bench
