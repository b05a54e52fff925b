// The angle message: "pitch,roll[,anything else]" in degrees, one per datagram.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace net {

struct AnglePair {
  float pitch;
  float roll;
};

// Comma-separated fields; adjacent commas give an empty field, a trailing comma none.
std::vector<std::string> splitFields(std::string_view text);

// Pitch and roll from the first two fields, as the source sent them; a failure, saying why,
// when the text cannot give both angles.
platform::Result<AnglePair> readAngles(std::string_view text);

// The angles the seat is to take: both negated when `reversal` is 1 (axisReversalMode).
AnglePair withReversal(const AnglePair& sent, int reversal);

// readAngles, then withReversal.
platform::Result<AnglePair> readAngles(std::string_view text, int reversal);

}  // namespace net
