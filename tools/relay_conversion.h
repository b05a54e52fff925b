// brenik-relay's conversion: one datagram of a motion program, in the form it was told, into the
// angle pair in degrees, and that pair into the message the receivers read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/failure.h"

namespace bench {

// Datagrams longer than this are no motion program's angles: unreadable, never looked into.
constexpr std::size_t kMaxRelayDatagram = 256;
// Characters of one number, blanks around it not counted.
constexpr std::size_t kMaxRelayNumber = 24;
// The widest integer range: 32 bits either way.
constexpr std::int64_t kMaxRelayInteger = 4294967295;

// What a datagram holds: PREFIX NUMBER SEPARATOR NUMBER SUFFIX.
struct RelayForm {
  enum class Numbers { Integers, Degrees };
  Numbers numbers = Numbers::Degrees;
  // Integers from `minimum` to `maximum`; `centre` (strictly between them) is level, and each
  // end is `fullScale` degrees from it, each side of the centre scaled on its own.
  std::int64_t minimum = 0;
  std::int64_t maximum = 255;
  double centre = 127.5;
  double fullScale = 20.0;
  char decimalMark = '.';  // degrees: '.' or ','
  bool rollFirst = false;
  std::string prefix;
  std::string separator = ",";
  std::string suffix;
};

struct RelayAngles {
  double pitch;
  double roll;
};

// Why a datagram is not forwarded: too long, not in the form, or an integer outside the range.
struct RelayRefusal : platform::Failure {
  bool outOfRange = false;
};

// The angles one datagram gives. Blanks (spaces, tabs) around a number, and line ends (CR, LF)
// at the very end, are allowed; anything else must be exactly the form.
platform::Result<RelayAngles, RelayRefusal> readRelayDatagram(std::string_view datagram,
                                                              const RelayForm& form);

// "pitch,roll" in degrees with three decimals and a point whatever the locale, never "-0.000".
std::string relayMessage(const RelayAngles& angles);

}  // namespace bench
