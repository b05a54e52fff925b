// Reading angle pairs from datagram texts: what must convert and what must be refused.
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "net/angle_message.h"
#include "support/comma_decimal_locale.h"

namespace {

struct SplitCase {
  std::string text;
  std::vector<std::string> fields;
};

void PrintTo(const SplitCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.text); }

class SplitFields : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitFields, LikeACommaDelimitedLineReader) {
  EXPECT_EQ(net::splitFields(GetParam().text), GetParam().fields);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitFields,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"10,-5", {"10", "-5"}},
                      SplitCase{",3", {"", "3"}}, SplitCase{"1,,2", {"1", "", "2"}},
                      SplitCase{"1,", {"1"}}, SplitCase{"1,,", {"1", ""}}, SplitCase{",", {""}},
                      SplitCase{"a b,\tc\n", {"a b", "\tc\n"}}));

struct ReadCase {
  std::string text;
  int reversal;
  float pitch;
  float roll;
};

void PrintTo(const ReadCase& c, std::ostream* out) {
  *out << ::testing::PrintToString(c.text) << " reversal " << c.reversal;
}

// The very same float: -0 is not 0, and not a number matches not a number.
bool sameFloat(float a, float b) {
  return std::isnan(b) ? std::isnan(a) : a == b && std::signbit(a) == std::signbit(b);
}

class ReadsAngles : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadsAngles, ConvertsTheFirstTwoFields) {
  const auto angles = net::readAngles(GetParam().text, GetParam().reversal);
  ASSERT_TRUE(angles.ok());
  EXPECT_PRED2(sameFloat, angles->pitch, GetParam().pitch);
  EXPECT_PRED2(sameFloat, angles->roll, GetParam().roll);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadsAngles,
    ::testing::Values(ReadCase{"10,-5", 1, -10, 5}, ReadCase{"10,-5", 0, 10, -5},
                      ReadCase{"1.5,2.5,99,abc", 0, 1.5f, 2.5f},
                      ReadCase{"3deg,4", 0, 3, 4},     // trailing letters ignored
                      ReadCase{"  7,\t8", 0, 7, 8},    // leading white space skipped
                      ReadCase{"+2.25e1,-0.5", 0, 22.5f, -0.5f},
                      ReadCase{"0.1,0.2", 1, -0.1f, -0.2f},
                      ReadCase{"1e-30,1e30", 0, 1e-30f, 1e30f},
                      ReadCase{"0,0", 1, -0.0f, -0.0f},  // reversal of zero gives negative zero
                      ReadCase{"nan,inf", 0, NAN, INFINITY}));

TEST(ReadsAnglesInAnyLocale, FractionsStayWhenTheProcessLocaleWritesACommaDecimal) {
  const testsupport::CommaDecimalLocale locale;
  ASSERT_TRUE(locale.set()) << "no locale " << testsupport::kCommaDecimalLocale
                            << " (scripts/setup.sh makes it)";
  const auto angles = net::readAngles("-10.5,0.9", 0);
  ASSERT_TRUE(angles.ok());
  EXPECT_EQ(angles->pitch, -10.5f);
  EXPECT_EQ(angles->roll, 0.9f);
}

struct RefusedCase {
  std::string text;
  std::string reason;
};

void PrintTo(const RefusedCase& c, std::ostream* out) { *out << ::testing::PrintToString(c.text); }

class RefusesText : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusesText, WithTheReason) {
  const auto angles = net::readAngles(GetParam().text, 1);
  ASSERT_FALSE(angles.ok());
  EXPECT_EQ(angles.failure().reason, GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RefusesText,
    ::testing::Values(RefusedCase{"", "fewer than two fields"},
                      RefusedCase{"5", "fewer than two fields"},
                      RefusedCase{"5,", "fewer than two fields"},
                      RefusedCase{",3", "invalid stof argument"},
                      RefusedCase{"abc,3", "invalid stof argument"},
                      RefusedCase{"3,abc", "invalid stof argument"},
                      RefusedCase{"3, ", "invalid stof argument"},
                      RefusedCase{"1e40,0", "stof argument out of range"},
                      RefusedCase{"0,-1e40", "stof argument out of range"},
                      // Field 0 is judged before field 1 is looked at.
                      RefusedCase{"1e40,abc", "stof argument out of range"},
                      RefusedCase{"abc,1e40", "invalid stof argument"}));

}  // namespace
