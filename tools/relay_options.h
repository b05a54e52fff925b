// What brenik-relay is asked to do, read from its command line.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "tools/arguments.h"
#include "tools/relay_conversion.h"

namespace bench {

// Where a motion program sends to when told nothing else: beside the receivers' 11111 and 22222.
constexpr std::uint16_t kDefaultRelayPort = 33333;
// Prefix, separator and suffix each; a motion program's framing is a few characters.
constexpr std::size_t kMaxRelayFraming = 64;

struct RelayOptions {
  RelayForm form;
  std::uint16_t listenPort = kDefaultRelayPort;
  std::vector<HostPort> targets;  // both local receivers unless --to is given
  bool status = false;
  std::optional<double> duration;  // seconds until it stops as on Ctrl+C; none: until Ctrl+C
};

struct RelayCommand {
  Asked asked = Asked::Run;
  RelayOptions options;
};

// The command, or the refusal in one line.
platform::Result<RelayCommand> parseRelayArguments(int argc, const char* const* argv);

extern const char* const kRelayUsage;

}  // namespace bench
