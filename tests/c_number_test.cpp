// Numbers read as C's strtof and strtod read them in the "C" locale, whatever the process's
// locale: known cases, and a generated corpus held to glibc's own strtof and strtod.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "net/c_number.h"
#include "support/comma_decimal_locale.h"

#if defined(__GLIBC__)
#include <locale.h>
#endif

namespace {

using net::NumberStatus;

using testsupport::CommaDecimalLocale;
using testsupport::kCommaDecimalLocale;

std::uint32_t bitsOf(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

struct KnownCase {
  const char* text;
  std::uint32_t bits;  // of the float
  std::size_t length;
  NumberStatus status;
};

void PrintTo(const KnownCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.text); }

class KnownFloats : public ::testing::TestWithParam<KnownCase> {};

TEST_P(KnownFloats, ReadAsStrtofDoesInTheCLocale) {
  const net::NumberReading<float> read = net::readFloat(GetParam().text);
  EXPECT_EQ(bitsOf(read.value), GetParam().bits);
  EXPECT_EQ(read.length, GetParam().length);
  EXPECT_EQ(read.status, GetParam().status);
}

constexpr NumberStatus kConverted = NumberStatus::Converted;
constexpr NumberStatus kNoNumber = NumberStatus::NoNumber;
constexpr NumberStatus kOutOfRange = NumberStatus::OutOfRange;

INSTANTIATE_TEST_SUITE_P(
    Texts, KnownFloats,
    ::testing::Values(
        KnownCase{"-10.5", 0xc1280000, 5, kConverted},
        KnownCase{" \t\n\v\f\r+0.9,", 0x3f666666, 10, kConverted},  // all C white space
        KnownCase{"3deg", 0x40400000, 1, kConverted},
        KnownCase{".5e", 0x3f000000, 2, kConverted},     // an exponent needs digits
        KnownCase{"5.e+1x", 0x42480000, 5, kConverted},
        KnownCase{"0.1", 0x3dcccccd, 3, kConverted},
        KnownCase{"0x1.8p3", 0x41400000, 7, kConverted},  // hexadecimal
        KnownCase{"-0X.8P-1", 0xbe800000, 8, kConverted},
        KnownCase{"0x", 0x00000000, 1, kConverted},       // only the 0 is a number
        KnownCase{"-0xp1", 0x80000000, 2, kConverted},
        KnownCase{"0x1p", 0x3f800000, 3, kConverted},
        KnownCase{"InFiNiTy", 0x7f800000, 8, kConverted},
        KnownCase{"-infinit", 0xff800000, 4, kConverted},
        KnownCase{"nan", 0x7fc00000, 3, kConverted},
        KnownCase{"-NaN(", 0xffc00000, 4, kConverted},
        KnownCase{"nan(0x12)", 0x7fc00012, 9, kConverted},  // glibc's payload
        KnownCase{"nan(abc)", 0x7fc00000, 8, kConverted},
        KnownCase{"nan(99999999999999999999)", 0x7fffffff, 25, kOutOfRange},  // strtoull's
        KnownCase{"1e39", 0x7f800000, 4, kOutOfRange},
        KnownCase{"-3.40282357e38", 0xff800000, 14, kOutOfRange},  // rounds beyond the largest
        KnownCase{"3.4028235e38", 0x7f7fffff, 12, kConverted},
        KnownCase{"1e-50", 0x00000000, 5, kOutOfRange},
        KnownCase{"-1e-50", 0x80000000, 6, kOutOfRange},
        KnownCase{"1e-40", 0x000116c2, 5, kOutOfRange},  // subnormal and inexact
        KnownCase{"1.17549435e-38", 0x00800000, 14, kConverted},  // the smallest normal
        KnownCase{"0x1p-149", 0x00000001, 8, kConverted},   // subnormal but exact
        KnownCase{"0x1.8p-149", 0x00000002, 10, kOutOfRange},
        KnownCase{"0x1.000001p-150", 0x00000000, 15, kOutOfRange},  // glibc's double rounding
        KnownCase{"0x1.0000010001p-150", 0x00000001, 19, kOutOfRange},
        KnownCase{"0e99999999999", 0x00000000, 13, kConverted},
        KnownCase{"", 0x00000000, 0, kNoNumber},
        KnownCase{" ", 0x00000000, 0, kNoNumber},
        KnownCase{"+-1", 0x00000000, 0, kNoNumber},
        KnownCase{".", 0x00000000, 0, kNoNumber},
        KnownCase{"in", 0x00000000, 0, kNoNumber},
        KnownCase{"\xa0" "1", 0x00000000, 0, kNoNumber}));  // not C white space

TEST(CNumbers, StringEndsAtAZeroByte) {
  const std::string text("1\0" "5", 3);
  EXPECT_EQ(net::readFloat(text).length, 1u);
  EXPECT_EQ(net::readDouble(std::string("\0" "5", 2)).status, NumberStatus::NoNumber);
}

TEST(CNumbers, ReadAPointWhenTheProcessLocaleWritesACommaAndCommasAreNotPoints) {
  const CommaDecimalLocale locale;
  ASSERT_TRUE(locale.set()) << "no locale " << kCommaDecimalLocale << " (scripts/setup.sh)";
  EXPECT_EQ(net::readFloat("-10.5").value, -10.5f);
  EXPECT_EQ(net::readFloat("-10.5").length, 5u);
  EXPECT_EQ(net::readDouble("0.9").value, 0.9);
  EXPECT_EQ(net::readFloat("10,5").length, 2u);
}

// ---- The generated corpus ----

// Exact decimal digits of a dyadic number n × 2^power: an integer written in base 10^9.
class ExactDecimal {
 public:
  ExactDecimal(std::uint64_t n, int power) {
    for (; n != 0; n /= kBase) limbs_.push_back(static_cast<std::uint32_t>(n % kBase));
    for (; power > 0; --power) multiply(2);
    for (; power < 0; ++power, ++fractionDigits_) multiply(5);  // n × 5^k / 10^k
  }

  // Scientific form, "d.ddddde-45", with every digit.
  std::string text() const {
    std::string digits = std::to_string(limbs_.empty() ? 0 : limbs_.back());
    for (std::size_t i = limbs_.size() - 1; i-- > 0;) {
      const std::string limb = std::to_string(limbs_[i]);
      digits += std::string(9 - limb.size(), '0') + limb;
    }
    const long long exponent = static_cast<long long>(digits.size()) - 1 - fractionDigits_;
    return digits.substr(0, 1) + "." + digits.substr(1) + "e" + std::to_string(exponent);
  }

 private:
  static constexpr std::uint64_t kBase = 1000000000;
  void multiply(std::uint64_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t& limb : limbs_) {
      const std::uint64_t product = limb * factor + carry;
      limb = static_cast<std::uint32_t>(product % kBase);
      carry = product / kBase;
    }
    if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
  }

  std::vector<std::uint32_t> limbs_;  // least significant first
  long long fractionDigits_ = 0;
};

// The corpus comes from a fixed seed through the standard's exactly specified generator, so
// every build reads the very same texts.
class CorpusMaker {
 public:
  std::vector<std::string> make() {
    for (int i = 0; i < 60000; ++i) add(decimal());
    for (int i = 0; i < 20000; ++i) add(nearBoundary<float>());
    for (int i = 0; i < 3000; ++i) add(nearBoundary<double>());
    for (int i = 0; i < 20000; ++i) add(hexadecimal());
    for (int i = 0; i < 10000; ++i) add(hexadecimalBoundary());
    for (int i = 0; i < 5000; ++i) add(special());
    for (int i = 0; i < 15000; ++i) add(junk());
    for (const char* text :
         {"", "0", "-0", "+.0e-0", "0x", "0x.", "0x.p1", "0xp", "0x.8", "0x8.", "nan()", "nan(",
          "nan(0x)", "nan(0X1f)", "nan(077)", "nan(08)", "nan(_a1)", "nan(18446744073709551615)",
          "nan(18446744073709551616)", "nan(0xfffffffffffffffff)", "inf", "infinity", "infinit",
          "-INFINITY", "1e", "1e+", "1e-", "e1", ".e1", "..1", "1..", "+", "-", "+ 1", "1e-0x"}) {
      add(text);
    }
    return std::move(texts_);
  }

 private:
  std::uint64_t below64(std::uint64_t n) { return random_() % n; }
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(random_() % n); }
  bool chance(std::size_t percent) { return below(100) < percent; }
  char pick(const std::string& from) { return from[below(from.size())]; }
  void add(std::string text) { texts_.push_back(std::move(text)); }

  std::string digits(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('0' + below(10));
    return text;
  }

  std::string prefix() {
    std::string text;
    if (chance(20)) {
      for (std::size_t n = below(4); n > 0; --n) text += pick(" \t\n\v\f\r");
    }
    if (chance(2)) text += pick("\xa0\x85x_");
    const std::size_t sign = below(10);
    if (sign < 3) text += '-';
    if (sign == 3) text += '+';
    if (chance(1)) text += pick("+- ");
    return text;
  }

  std::string suffix() {
    static const std::vector<std::string> endings = {
        "", "", "", "", "x", ",5", "e", "e+", "E-", ".", "..5", "deg", " 5", "p3", "f",
        std::string("\0" "7", 2), "e5x", "0x1", "_"};
    return endings[below(endings.size())];
  }

  std::size_t digitCount() {
    const std::size_t kind = below(20);
    if (kind < 12) return below(10);
    if (kind < 18) return below(30);
    return below(kind == 18 ? 120 : 800);
  }

  std::string exponent() {
    std::string text(1, pick("eE"));
    const std::size_t sign = below(3);
    if (sign == 1) text += '-';
    if (sign == 2) text += '+';
    const std::size_t kind = below(10);
    if (kind < 6) return text + std::to_string(below(50));
    if (kind < 9) return text + std::to_string(below(400));
    return text + digits(below(25));
  }

  std::string decimal() {
    std::string text = prefix();
    if (chance(15)) text += std::string(below(40), '0');
    text += digits(digitCount());
    if (chance(70)) text += '.';
    if (chance(10)) text += std::string(below(60), '0');
    text += digits(digitCount());
    if (chance(60)) text += exponent();
    return text + suffix();
  }

  // A value of `Real` at or between two neighbours, exactly or a little off: midpoints for the
  // rounding, and the ends of the range for the range error.
  template <typename Real>
  std::string nearBoundary() {
    constexpr int precision = std::numeric_limits<Real>::digits;
    constexpr int lowest = std::numeric_limits<Real>::min_exponent - precision;  // -149, -1074
    constexpr int highest = std::numeric_limits<Real>::max_exponent - precision;
    std::uint64_t n = 0;
    int power = 0;
    const std::size_t kind = below(8);
    if (kind < 3) {  // a midpoint anywhere: an odd number one bit longer than the precision
      n = (std::uint64_t{1} << precision) + 2 * below64(std::uint64_t{1} << (precision - 1)) + 1;
      power = lowest - 1 + static_cast<int>(below(static_cast<std::size_t>(highest - lowest + 2)));
    } else if (kind == 3) {  // subnormals and their midpoints
      n = 1 + below64(std::uint64_t{1} << precision);
      power = lowest - 1;
    } else if (kind == 4) {  // around the smallest normal: its midpoint with the value below
      n = (std::uint64_t{1} << (precision + 1)) - 2 + below64(4);
      power = lowest - 2;
    } else if (kind == 5) {  // around the smallest subnormal and half of it
      n = 1 + below64(4);
      power = lowest - 2;
    } else if (kind == 6) {  // around the largest value and the midpoint beyond it
      n = (std::uint64_t{1} << (precision + 1)) - 2 + below64(4);
      power = highest - 1;
    } else {  // a value of Real, exactly
      n = 1 + below64(std::uint64_t{1} << precision);
      power = lowest + static_cast<int>(below(static_cast<std::size_t>(highest - lowest + 1)));
    }
    std::string text = ExactDecimal(n, power).text();
    const std::size_t e = text.find('e');
    switch (below(5)) {
      case 0: {  // cut short: just below
        const std::size_t cut = std::min<std::size_t>(2 + below(30), e);
        text.erase(cut, e - cut);
        break;
      }
      case 1:  // a little above
        text.insert(e, "000000000000000000001");
        break;
      case 2: {  // the last digit one less: a little below
        std::size_t last = e - 1;
        while (text[last] == '0') --last;
        if (text[last] != '.') --text[last];
        break;
      }
      default:
        break;
    }
    return prefix() + text + suffix();
  }

  std::string hexDigits(std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) text += pick("0123456789abcdefABCDEF");
    return text;
  }

  std::string hexadecimal() {
    std::string text = prefix() + (chance(50) ? "0x" : "0X");
    if (chance(10)) text += std::string(below(20), '0');
    const std::size_t shape = below(10);
    std::size_t whole = below(shape < 7 ? 8 : 40);
    if (shape == 9) text += '1';
    text += hexDigits(whole);
    if (chance(60)) text += '.';
    text += hexDigits(below(shape < 7 ? 8 : 40));
    if (chance(85)) {
      text += pick("pP");
      const std::size_t sign = below(3);
      if (sign == 1) text += '-';
      if (sign == 2) text += '+';
      const std::size_t kind = below(10);
      if (kind < 3) {
        text += std::to_string(below(200));
      } else if (kind < 9) {  // where the range ends: near 2^-126, 2^-149, 2^127, 2^1023, 2^-1074
        static const int ends[] = {126, 149, 150, 127, 128, 1022, 1023, 1024, 1074, 1075};
        text += std::to_string(ends[below(10)] + static_cast<int>(below(70)) - 35);
      } else {
        text += digits(below(25));
      }
    }
    return text + suffix();
  }

  // Mantissas a bit short of, at or just past a power of two, at the exponents where the range
  // ends: tininess, the carry into the smallest normal, overflow by rounding.
  std::string hexadecimalBoundary() {
    static const std::vector<std::string> mantissas = {
        "1.fffffe", "1.ffffff", "0.fffffe", "0.ffffff", "1.000001", "0.000001", "0.000002",
        "1.fffffffffffff", "0.fffffffffffff", "1.0000000000001", "0.0000000000001", "1", "3"};
    static const std::vector<int> exponents = {-127, -126, -149, -150, 127, 128,
                                               -1023, -1022, -1074, -1075, 1023, 1024};
    std::string text = prefix() + "0x" + mantissas[below(mantissas.size())];
    if (chance(70)) text += hexDigits(1 + below(3));
    if (chance(30)) text += std::string(10 + below(12), '0') + pick("01");  // far past precision
    const int exponent = exponents[below(exponents.size())] + static_cast<int>(below(3)) - 1;
    return text + "p" + std::to_string(exponent) + suffix();
  }

  std::string anyCase(const std::string& word) {
    std::string text = word;
    for (char& c : text) {
      if (chance(50)) c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
  }

  std::string special() {
    static const std::vector<std::string> words = {"inf", "infinity", "nan", "infinit", "na",
                                                   "in", "infinityy", "nanx"};
    std::string text = prefix() + anyCase(words[below(words.size())]);
    if (chance(40)) {
      text += '(';
      const std::size_t kind = below(4);
      if (kind == 0) text += "0x" + hexDigits(below(20));
      if (kind == 1) text += digits(below(25));
      if (kind == 2) text += "0" + digits(below(25));
      for (std::uint64_t n = kind == 3 ? below(8) : 0; n > 0; --n) {
        text += pick("0123456789abcxyzXYZ_-. ()");
      }
      if (chance(80)) text += ')';
    }
    return text + suffix();
  }

  std::string junk() {
    static const std::string alphabet =
        std::string("0123456789.eExXpP+- \t,infatyINF()_\xa0\xff") + std::string(1, '\0');
    std::string text;
    for (std::size_t n = below(16); n > 0; --n) text += pick(alphabet);
    return text;
  }

  std::mt19937_64 random_{20261209};
  std::vector<std::string> texts_;
};

// Platform-independent digest of every reading (value bits, length, status), in order.
class Digest {
 public:
  void add(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      hash_ = (hash_ ^ ((value >> (8 * i)) & 0xff)) * 0x100000001b3;
    }
  }
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325;
};

template <typename Real>
void addReading(Digest& digest, const net::NumberReading<Real>& read) {
  digest.add(bitsOf(read.value), sizeof(Real));
  digest.add(read.length, 8);
  digest.add(static_cast<std::uint64_t>(read.status), 1);
}

// What every text of the corpus reads as, natively held to glibc; every other build must
// give the same digest.
constexpr std::uint64_t kCorpusDigest = 0xadc67d99219ad90b;

#if defined(__GLIBC__)
// The reference: glibc's strtof and strtod in the "C" locale, with their errno.
template <typename Real>
net::NumberReading<Real> glibcReading(const std::string& text, locale_t c) {
  char* end = nullptr;
  errno = 0;
  Real value;
  if constexpr (std::is_same_v<Real, float>) {
    value = strtof_l(text.c_str(), &end, c);
  } else {
    value = strtod_l(text.c_str(), &end, c);
  }
  const auto length = static_cast<std::size_t>(end - text.c_str());
  const NumberStatus status = length == 0        ? NumberStatus::NoNumber
                              : errno == ERANGE ? NumberStatus::OutOfRange
                                                : NumberStatus::Converted;
  return {value, length, status};
}

template <typename Real>
std::string describe(const net::NumberReading<Real>& read) {
  const char* status[] = {"converted", "no number", "out of range"};
  char text[96];
  std::snprintf(text, sizeof text, "bits %llx, length %zu, %s",
                static_cast<unsigned long long>(bitsOf(read.value)), read.length,
                status[static_cast<int>(read.status)]);
  return text;
}

template <typename Real>
bool same(const net::NumberReading<Real>& a, const net::NumberReading<Real>& b) {
  return bitsOf(a.value) == bitsOf(b.value) && a.length == b.length && a.status == b.status;
}
#endif

TEST(CNumbers, AGeneratedCorpusReadsAsGlibcReadsItInTheCLocale) {
  const std::vector<std::string> corpus = CorpusMaker().make();
  ASSERT_GE(corpus.size(), 100000u);
  // The process in a comma-decimal locale, as a controller library may leave it.
  const CommaDecimalLocale locale;
  ASSERT_TRUE(locale.set()) << "no locale " << kCommaDecimalLocale << " (scripts/setup.sh)";
#if defined(__GLIBC__)
  const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  ASSERT_NE(c, static_cast<locale_t>(0));
  int mismatches = 0;
#endif
  Digest digest;
  for (const std::string& text : corpus) {
    const net::NumberReading<float> single = net::readFloat(text);
    const net::NumberReading<double> twice = net::readDouble(text);
    addReading(digest, single);
    addReading(digest, twice);
#if defined(__GLIBC__)
    const auto expectedSingle = glibcReading<float>(text, c);
    const auto expectedDouble = glibcReading<double>(text, c);
    if ((!same(single, expectedSingle) || !same(twice, expectedDouble)) && ++mismatches <= 20) {
      ADD_FAILURE() << ::testing::PrintToString(text) << "\n  float:  " << describe(single)
                    << ", strtof " << describe(expectedSingle) << "\n  double: " << describe(twice)
                    << ", strtod " << describe(expectedDouble);
    }
#endif
  }
#if defined(__GLIBC__)
  freelocale(c);
  EXPECT_EQ(mismatches, 0);
#endif
  EXPECT_EQ(digest.value(), kCorpusDigest)
      << std::hex << "the corpus reads differently from the glibc build, which held every "
         "reading to strtof and strtod; if the corpus itself changed, its new digest is this one";
}

}  // namespace
