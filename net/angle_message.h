// The angle message: "pitch,roll[,anything else]" in degrees, one per datagram.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace net {

struct AnglePair {
  float pitch;
  float roll;
};

// Comma-separated fields; adjacent commas give an empty field, a trailing comma none.
std::vector<std::string> splitFields(std::string_view text);

// Pitch and roll from the first two fields, both negated when `reversal` is 1. Empty when the
// text cannot give both angles; `error` then says why.
std::optional<AnglePair> readAngles(std::string_view text, int reversal,
                                    std::string* error = nullptr);

}  // namespace net
