// Reading command-line values for the bench tools: strict numbers, angle pairs, HOST:PORT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bench {

// The whole text as a finite decimal number ("12", "-0.5", "1e-3"); anything else is empty.
std::optional<double> parseNumber(std::string_view text);

// Comma-separated finite numbers, exactly `count` of them ("10,-5" for count 2).
std::optional<std::vector<double>> parseNumbers(std::string_view text, std::size_t count);

struct HostPort {
  std::string host;
  std::uint16_t port;
};

// "HOST:PORT" with a port in 1..65535; the host is not looked up here.
std::optional<HostPort> parseHostPort(std::string_view text);

// Walks argv the way both tools read it: "--name value", "--name=value", flags, and plain
// arguments (a negative number is a plain argument, not an option).
class ArgumentReader {
 public:
  ArgumentReader(int argc, const char* const* argv);

  bool done() const { return next_ >= arguments_.size(); }
  // True when the next argument is an option; its name (without a value) goes to `name`.
  bool nextIsOption(std::string& name) const;
  // Takes the next argument as a plain one.
  std::string takePlain();
  // Takes the option and its value; false with `error` set when the value is missing.
  bool takeValue(std::string& value, std::string& error);
  // Takes an option that carries no value; false when one was attached with '='.
  bool takeFlag(std::string& error);

 private:
  std::vector<std::string> arguments_;
  std::size_t next_ = 0;
  std::size_t firstPlainOnly_;  // arguments after "--" are plain whatever they look like
};

// Exit status when standard output could not take what was written.
constexpr int kExitOutputFailed = 1;

// Flushes standard output (platform::beginStandardOutput, platform/console.h, before writing). Returns `status`
// when everything written arrived; otherwise says so in one line on standard error,
// "<tool>: cannot write the output: <reason>", and returns kExitOutputFailed.
int finishStandardOutput(const char* tool, int status);

}  // namespace bench
