// Numbers read as the C library reads them in the "C" locale (one file past 300 lines: strtof's
// rules are one whole that reads best together). Decimal numbers go through
// std::from_chars, which is locale-free and correctly rounded; the rest of strtof's rules (white
// space, sign, hexadecimal, inf and nan, the range error) are written out here.
#include "net/c_number.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace net {
namespace {

template <typename Real>
struct BitsOf;
template <>
struct BitsOf<float> {
  using Type = std::uint32_t;
};
template <>
struct BitsOf<double> {
  using Type = std::uint64_t;
};

// The binary format of `Real`: precision, exponent range and the encodings used here.
template <typename Real>
struct Binary {
  static_assert(std::numeric_limits<Real>::is_iec559, "IEEE 754 binary formats only");
  using Bits = typename BitsOf<Real>::Type;
  static constexpr int kPrecision = std::numeric_limits<Real>::digits;             // 24, 53
  static constexpr int kMinExponent = std::numeric_limits<Real>::min_exponent - 1;  // -126
  static constexpr int kMaxExponent = std::numeric_limits<Real>::max_exponent - 1;  // 127
  static constexpr Bits kSign = Bits{1} << (sizeof(Bits) * 8 - 1);
  static constexpr Bits kFraction = (Bits{1} << (kPrecision - 1)) - 1;
  static constexpr Bits kInfinity = static_cast<Bits>(2 * kMaxExponent + 1) << (kPrecision - 1);
  static constexpr Bits kQuietNan = kInfinity | (Bits{1} << (kPrecision - 2));
  // The part of a quiet NaN's fraction that glibc fills from "nan(number)".
  static constexpr Bits kNanPayload = (Bits{1} << (kPrecision - 2)) - 1;
  // The smallest subnormal is 2^-kSubnormalScale.
  static constexpr int kSubnormalScale = kPrecision - 1 - kMinExponent;  // 149, 1074

  static Real fromBits(Bits bits) {
    Real value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  static Bits toBits(Real value) {
    Bits bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
  }
};

// White space as the "C" locale's isspace has it.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int hexValue(char c) {
  if (isDigit(c)) return c - '0';
  const char l = lower(c);
  return l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// Whether `word` (lower case) starts at `p`, in any case.
bool startsWithWord(const char* p, const char* end, const char* word) {
  for (; *word != '\0'; ++word, ++p) {
    if (p == end || lower(*p) != *word) return false;
  }
  return true;
}

// An exponent's digits, held at a size far beyond any that changes the result.
constexpr std::int64_t kExponentCeiling = std::int64_t{1} << 40;

const char* readExponentDigits(const char* p, const char* end, std::int64_t& exponent) {
  exponent = 0;
  for (; p != end && isDigit(*p); ++p) {
    if (exponent < kExponentCeiling) exponent = exponent * 10 + (*p - '0');
  }
  return p;
}

// The top `bits` (0..64) of `mantissa` rounded to nearest, ties to even; `sticky` stands for
// nonzero bits beyond the mantissa. May carry to 2^bits.
struct Rounded {
  std::uint64_t value;
  bool inexact;
};

Rounded roundTop(std::uint64_t mantissa, bool sticky, int bits) {
  if (bits == 64) return {mantissa, sticky};
  const std::uint64_t kept = bits == 0 ? 0 : mantissa >> (64 - bits);
  const std::uint64_t rest = bits == 0 ? mantissa : mantissa << bits;  // its top bit is one half
  const std::uint64_t half = std::uint64_t{1} << 63;
  const bool up = rest > half || (rest == half && (sticky || (kept & 1) != 0));
  return {kept + (up ? 1 : 0), rest != 0 || sticky};
}

// (mantissa, a little more when `sticky`) × 2^exponent, mantissa above 0, rounded as glibc
// rounds a hexadecimal number: to the nearest value of Real, ties to even, except below the
// normal range, where glibc first keeps full precision, noting whether anything past the bit
// after it is set, and then rounds that to the fewer bits left, forgetting the bit itself
// ("0x1.000001p-150" gives 0). The range error as glibc gives it: the rounded value overflows,
// or it is tiny and inexact, tiny meaning below the smallest normal even when rounded to full
// precision with no bound on the exponent (tininess after rounding, as on x86).
template <typename Real>
std::pair<typename Binary<Real>::Bits, bool> roundBinary(std::uint64_t mantissa,
                                                         std::int64_t exponent, bool sticky) {
  using B = Binary<Real>;
  using Bits = typename B::Bits;
  while ((mantissa >> 63) == 0) {
    mantissa <<= 1;
    --exponent;
  }
  const std::int64_t lead = exponent + 63;  // the power of two of the leading bit
  if (lead > B::kMaxExponent) return {B::kInfinity, true};
  if (lead >= B::kMinExponent) {
    Rounded r = roundTop(mantissa, sticky, B::kPrecision);
    std::int64_t power = lead;
    if ((r.value >> B::kPrecision) != 0) {  // rounded up to the next power of two
      r.value >>= 1;
      ++power;
    }
    if (power > B::kMaxExponent) return {B::kInfinity, true};
    return {static_cast<Bits>(static_cast<Bits>(power + B::kMaxExponent) << (B::kPrecision - 1) |
                              (static_cast<Bits>(r.value) & B::kFraction)),
            false};
  }
  // Below the normal range fewer bits are kept; a carry into the next bit gives the smallest
  // normal, which the same encoding expresses.
  const std::int64_t kept = B::kPrecision - (B::kMinExponent - lead);
  if (kept < 0) return {0, true};  // below half the smallest subnormal
  const std::uint64_t fullPrecision = mantissa >> (64 - B::kPrecision) << (64 - B::kPrecision);
  const bool pastNextBit = sticky || (mantissa << (B::kPrecision + 1)) != 0;
  const Rounded r = roundTop(fullPrecision, pastNextBit, static_cast<int>(kept));
  bool tiny = true;
  if (lead == B::kMinExponent - 1) {
    tiny = (roundTop(mantissa, sticky, B::kPrecision).value >> B::kPrecision) == 0;
  }
  return {static_cast<Bits>(r.value), tiny && r.inexact};
}

// A decimal number's significant digits as written (a point may stand among them) and the
// power of ten of the first.
struct DecimalDigits {
  const char* first;  // the first nonzero digit; `end` when there is none
  const char* end;
  std::int64_t leadPower;
};

// The digits of the decimal number that std::from_chars took from [begin, end).
DecimalDigits decimalDigits(const char* begin, const char* end) {
  DecimalDigits digits{nullptr, nullptr, 0};
  const char* p = begin;
  const char* intEnd = p;
  while (intEnd != end && isDigit(*intEnd)) ++intEnd;
  std::int64_t position = intEnd - begin - 1;  // power of ten of the digit at p, less the exponent
  for (; p != intEnd && digits.first == nullptr; ++p, --position) {
    if (*p != '0') {
      digits.first = p;
      digits.leadPower = position;
    }
  }
  p = intEnd;
  if (p != end && *p == '.') ++p;
  position = -1;
  for (; p != end && isDigit(*p); ++p, --position) {
    if (digits.first == nullptr && *p != '0') {
      digits.first = p;
      digits.leadPower = position;
    }
  }
  digits.end = p;
  if (digits.first == nullptr) digits.first = p;
  if (p != end) {  // an exponent: e, a sign, digits
    ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    std::int64_t exponent = 0;
    readExponentDigits(p, end, exponent);
    digits.leadPower += negative ? -exponent : exponent;
  }
  return digits;
}

// The exact decimal digits of k × 2^-scale: those of k × 5^scale, the point `scale` digits from
// the right; trailing zeros left out.
struct Decimal {
  std::string digits;
  std::int64_t leadPower;
};

Decimal dyadicDecimal(std::uint64_t k, int scale) {
  constexpr std::uint64_t kLimb = 1000000000;  // base of the limbs, least significant first
  constexpr std::uint64_t kFivePower = 1220703125;  // 5^13
  std::vector<std::uint64_t> limbs;
  for (; k != 0; k /= kLimb) limbs.push_back(k % kLimb);
  for (int left = scale; left > 0; left -= 13) {
    std::uint64_t factor = kFivePower;
    if (left < 13) {
      factor = 1;
      for (int i = 0; i < left; ++i) factor *= 5;
    }
    std::uint64_t carry = 0;
    for (std::uint64_t& limb : limbs) {
      const std::uint64_t product = limb * factor + carry;
      limb = product % kLimb;
      carry = product / kLimb;
    }
    for (; carry != 0; carry /= kLimb) limbs.push_back(carry % kLimb);
  }
  Decimal decimal{std::to_string(limbs.back()), 0};
  for (auto limb = limbs.rbegin() + 1; limb != limbs.rend(); ++limb) {
    const std::string part = std::to_string(*limb);
    decimal.digits += std::string(9 - part.size(), '0') + part;
  }
  decimal.leadPower = static_cast<std::int64_t>(decimal.digits.size()) - 1 - scale;
  decimal.digits.erase(decimal.digits.find_last_not_of('0') + 1);
  return decimal;
}

// -1, 0 or 1 as the written number x is below, equal to or above b (both above 0).
int compare(const DecimalDigits& x, const Decimal& b) {
  if (x.leadPower != b.leadPower) return x.leadPower < b.leadPower ? -1 : 1;
  const char* p = x.first;
  for (const char digit : b.digits) {
    if (p != x.end && *p == '.') ++p;
    if (p == x.end) return -1;  // b goes on, and its last digit is not 0
    if (*p != digit) return *p < digit ? -1 : 1;
    ++p;
  }
  for (; p != x.end; ++p) {
    if (*p >= '1' && *p <= '9') return 1;
  }
  return 0;
}

// Whether a decimal number read as `rounded` (a subnormal or the smallest normal) takes the
// range error: tiny (see roundBinary) and inexact.
template <typename Real>
bool tinyAndInexact(const DecimalDigits& x, Real rounded) {
  using B = Binary<Real>;
  if (rounded < std::numeric_limits<Real>::min()) {  // tiny: an error unless exact
    return compare(x, dyadicDecimal(B::toBits(rounded), B::kSubnormalScale)) != 0;
  }
  // The smallest normal: tiny below the midpoint between it and the full-precision value
  // under it, (2^(p+1) - 1) × 2^(emin-p-1).
  const std::uint64_t midpoint = (std::uint64_t{1} << (B::kPrecision + 1)) - 1;
  return compare(x, dyadicDecimal(midpoint, B::kSubnormalScale + 2)) < 0;
}

template <typename Real>
NumberReading<Real> noNumber() {
  return {Real{0}, 0, NumberStatus::NoNumber};
}

template <typename Real>
NumberReading<Real> readDecimal(const char* start, const char* p, const char* end,
                                typename Binary<Real>::Bits sign) {
  using B = Binary<Real>;
  Real magnitude{};
  const std::from_chars_result read = std::from_chars(p, end, magnitude);
  if (read.ec == std::errc::invalid_argument) return noNumber<Real>();
  const auto length = static_cast<std::size_t>(read.ptr - start);
  if (read.ec == std::errc::result_out_of_range) {  // beyond the largest value, or rounds to 0
    const bool overflow = decimalDigits(p, read.ptr).leadPower > 0;
    return {B::fromBits((overflow ? B::kInfinity : 0) | sign), length, NumberStatus::OutOfRange};
  }
  NumberStatus status = NumberStatus::Converted;
  if (magnitude > Real{0} && magnitude <= std::numeric_limits<Real>::min() &&
      tinyAndInexact(decimalDigits(p, read.ptr), magnitude)) {
    status = NumberStatus::OutOfRange;
  }
  return {B::fromBits(B::toBits(magnitude) | sign), length, status};
}

// After "0x": hexadecimal digits with an optional point, then an optional binary exponent
// ("p-3"). Without a digit only the "0" before the x is a number.
template <typename Real>
NumberReading<Real> readHexadecimal(const char* start, const char* p, const char* end,
                                    typename Binary<Real>::Bits sign) {
  using B = Binary<Real>;
  const char* const zero = p - 2;
  std::uint64_t mantissa = 0;
  std::int64_t exponent = 0;
  bool sticky = false;
  bool anyDigit = false;
  const auto take = [&](int digit, bool fraction) {
    anyDigit = true;
    if ((mantissa >> 60) == 0) {
      mantissa = mantissa * 16 + static_cast<std::uint64_t>(digit);
      if (fraction) exponent -= 4;
    } else {
      sticky = sticky || digit != 0;
      if (!fraction) exponent += 4;
    }
  };
  for (; p != end && hexValue(*p) >= 0; ++p) take(hexValue(*p), false);
  if (p != end && *p == '.' && (anyDigit || (p + 1 != end && hexValue(p[1]) >= 0))) {
    for (++p; p != end && hexValue(*p) >= 0; ++p) take(hexValue(*p), true);
  }
  if (!anyDigit) return {B::fromBits(sign), static_cast<std::size_t>(zero + 1 - start),
                         NumberStatus::Converted};
  if (p != end && lower(*p) == 'p') {
    const char* q = p + 1;
    const bool negative = q != end && *q == '-';
    if (q != end && (*q == '+' || *q == '-')) ++q;
    if (q != end && isDigit(*q)) {
      std::int64_t power = 0;
      p = readExponentDigits(q, end, power);
      exponent += negative ? -power : power;
    }
  }
  const auto length = static_cast<std::size_t>(p - start);
  if (mantissa == 0) return {B::fromBits(sign), length, NumberStatus::Converted};
  const auto [bits, outOfRange] = roundBinary<Real>(mantissa, exponent, sticky);
  return {B::fromBits(bits | sign), length,
          outOfRange ? NumberStatus::OutOfRange : NumberStatus::Converted};
}

// "nan(chars)": glibc reads the chars as strtoull does with base 0 into the NaN's payload, if
// they are all taken; a number too large for 64 bits leaves strtoull's range error behind.
struct NanPayload {
  std::uint64_t value;
  bool whole;
  bool overflow;
};

NanPayload nanPayload(const char* p, const char* end) {
  std::uint64_t base = 10;
  if (p != end && *p == '0') {
    base = 8;
    if (end - p >= 3 && lower(p[1]) == 'x' && hexValue(p[2]) >= 0) {
      base = 16;
      p += 2;
    }
  }
  NanPayload payload{0, false, false};
  for (; p != end; ++p) {
    const int digit = hexValue(*p);
    if (digit < 0 || static_cast<std::uint64_t>(digit) >= base) break;
    const auto d = static_cast<std::uint64_t>(digit);
    if (payload.value > (std::numeric_limits<std::uint64_t>::max() - d) / base) {
      payload.overflow = true;
      payload.value = std::numeric_limits<std::uint64_t>::max();
    } else if (!payload.overflow) {
      payload.value = payload.value * base + d;
    }
  }
  payload.whole = p == end;
  return payload;
}

template <typename Real>
NumberReading<Real> readNan(const char* start, const char* p, const char* end,
                            typename Binary<Real>::Bits sign) {
  using B = Binary<Real>;
  typename B::Bits bits = B::kQuietNan | sign;
  NumberStatus status = NumberStatus::Converted;
  if (p != end && *p == '(') {
    const char* close = p + 1;
    while (close != end && (isDigit(*close) || (lower(*close) >= 'a' && lower(*close) <= 'z') ||
                            *close == '_')) {
      ++close;
    }
    if (close != end && *close == ')') {
      const NanPayload payload = nanPayload(p + 1, close);
      if (payload.whole) bits |= static_cast<typename B::Bits>(payload.value) & B::kNanPayload;
      if (payload.overflow) status = NumberStatus::OutOfRange;
      p = close + 1;
    }
  }
  return {B::fromBits(bits), static_cast<std::size_t>(p - start), status};
}

template <typename Real>
NumberReading<Real> readReal(std::string_view text) {
  using B = Binary<Real>;
  const char* const start = text.data();
  const char* const end = start + text.size();
  const char* p = start;
  while (p != end && isSpace(*p)) ++p;
  typename B::Bits sign = 0;
  if (p != end && (*p == '+' || *p == '-')) {
    if (*p == '-') sign = B::kSign;
    ++p;
  }
  if (p == end) return noNumber<Real>();
  if (isDigit(*p) || *p == '.') {
    if (*p == '0' && end - p >= 2 && lower(p[1]) == 'x') {
      return readHexadecimal<Real>(start, p + 2, end, sign);
    }
    return readDecimal<Real>(start, p, end, sign);
  }
  if (startsWithWord(p, end, "inf")) {
    p += 3;
    if (startsWithWord(p, end, "inity")) p += 5;
    return {B::fromBits(B::kInfinity | sign), static_cast<std::size_t>(p - start),
            NumberStatus::Converted};
  }
  if (startsWithWord(p, end, "nan")) return readNan<Real>(start, p + 3, end, sign);
  return noNumber<Real>();
}

}  // namespace

NumberReading<float> readFloat(std::string_view text) { return readReal<float>(text); }

NumberReading<double> readDouble(std::string_view text) { return readReal<double>(text); }

}  // namespace net
