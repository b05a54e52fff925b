// Numbers read from text as C's strtof and strtod read them in the "C" locale, whatever locale
// the process is in: a controller library may switch it to one that writes "10,5".
#pragma once

#include <cstddef>
#include <string_view>

namespace net {

enum class NumberStatus {
  Converted,
  NoNumber,    // nothing at the start of the text is a number ("invalid ... argument")
  OutOfRange,  // strtof's range error: the rounded value overflows, or it is below the
               // smallest normal value and not exact (1e39, 1e-40, 1e-50)
};

template <typename Real>
struct NumberReading {
  Real value;          // the very bits strtof or strtod returns, also when out of range
  std::size_t length;  // characters taken: the distance to strtof's end pointer, 0 for none
  NumberStatus status;
};

// Leading white space, an optional sign, then the longest start that is a decimal number
// ("1.5e3", ".5"), a hexadecimal one ("0x1.8p3"), "inf", "infinity", "nan" or "nan(chars)", in
// any case. A zero byte ends the text, as it ends a C string.
NumberReading<float> readFloat(std::string_view text);
NumberReading<double> readDouble(std::string_view text);

}  // namespace net
