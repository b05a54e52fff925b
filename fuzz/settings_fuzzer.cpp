// Feeds arbitrary settings files through the profile lookup and the number reading: no file
// may crash them, values fit the buffer they would have on Windows, and numbers read like atoi.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <limits>
#include <string>

#include "app/settings.h"
#include "app/profile_reader.h"
#include "platform/files.h"

namespace {

constexpr const char* kSection = "actuator";
constexpr const char* kKeys[] = {"l_com", "r_com", "maxActuatorSpeed", "maxActuatorAccel",
                                 "axisReversalMode"};
constexpr const char* kFallback = "COM8";
// The first input byte picks the key (bits 0-2) and the value buffer's size (bits 3-4); a space
// gives l_com with the programs' own buffer, so seeds stay readable.
constexpr std::size_t kCapacities[] = {platform::kProfileValueCapacity, 0, 1, 300};

// A file made of the input again and again until it is well past the longest line kept, and
// what reading it may hold at any time: one line at its limit plus what a string keeps spare.
constexpr std::size_t kRepeatedBytes = 4 * app::ProfileLookup::kLineLimit;
constexpr std::size_t kHeldBytesLimit = 3 * app::ProfileLookup::kLineLimit;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

std::string upperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The C library's own reading, saturated to 32 bits: what parseSettingNumber must agree with.
std::int32_t referenceNumber(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  if (value < std::numeric_limits<std::int32_t>::min())
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string key = kKeys[(data[0] & 7) % std::size(kKeys)];
  const std::size_t capacity = kCapacities[(data[0] >> 3) & 3];
  const std::string contents(reinterpret_cast<const char*>(data) + 1, size - 1);

  const std::string value =
      app::lookupProfileValue(contents, kSection, key, kFallback, capacity);
  const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
  if (value.size() > limit) fail("value longer than the buffer allows");
  if (contents.find('=') == std::string::npos && value != std::string(kFallback).substr(0, limit)) {
    fail("a file without any '=' gave something other than the fallback");
  }
  if (app::lookupProfileValue(contents, upperAscii(kSection), upperAscii(key), kFallback,
                                   capacity) != value) {
    fail("section or key matched differently in upper case");
  }

  // Read in pieces, as from a file, the answer is the same; a file made of the input many times
  // over is held in bounded memory however long it grows.
  const std::size_t pieceSize = 1 + (data[0] >> 5) * 7;
  app::ProfileLookup pieces(kSection, key);
  for (std::size_t at = 0; at < contents.size(); at += pieceSize) {
    pieces.feed(std::string_view(contents).substr(at, pieceSize));
  }
  if (pieces.result(kFallback, capacity) != value) fail("reading in pieces changed the value");
  app::ProfileLookup repeated(kSection, key);
  for (std::size_t fed = 0; !contents.empty() && fed < kRepeatedBytes && repeated.feed(contents);
       fed += contents.size()) {
    if (repeated.heldBytes() > kHeldBytesLimit) fail("held memory grows with the file");
  }

  const std::int32_t number = app::parseSettingNumber(value);
  if (number != referenceNumber(value)) fail("number differs from the C library's reading");
  const std::int32_t clamped = app::clampSetting(number, 20000);
  if (clamped < 0 || clamped > 20000) fail("clamped setting outside its range");
  return 0;
}
