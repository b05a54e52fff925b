// The settings file: how values are found in it, read as numbers, bounded and defaulted.
#include <cstdint>
#include <fstream>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "app/profile_reader.h"

namespace {

std::string lookup(const std::string& file, const std::string& key = "maxActuatorSpeed") {
  return app::lookupProfileValue(file, "actuator", key, "DEFAULT", 256);
}

// What Notepad writes as "Unicode": a byte-order mark, then two bytes a character.
std::string utf16(const std::string& mark, const std::string& ascii, bool bigEndian) {
  std::string bytes = mark;
  for (char c : ascii) {
    bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return bytes;
}

struct LookupCase {
  const char* name;
  std::string file;
  std::string expected;
};

// Parameterised tests are listed by their case's name, the same in every build.
void PrintTo(const LookupCase& c, std::ostream* out) { *out << c.name; }

class ProfileLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(ProfileLookup, FindsWhatWindowsFinds) { EXPECT_EQ(lookup(GetParam().file), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Files, ProfileLookup,
    ::testing::Values(
        LookupCase{"Plain", "[actuator]\nmaxActuatorSpeed=500\n", "500"},
        LookupCase{"CrLf", "[actuator]\r\nmaxActuatorSpeed=500\r\n", "500"},
        LookupCase{"LoneCr", "[actuator]\rother=1\rmaxActuatorSpeed=500\r", "500"},
        LookupCase{"Utf8Mark", "\xEF\xBB\xBF[actuator]\nmaxActuatorSpeed=500\n", "500"},
        LookupCase{"Utf16LittleEndian", utf16("\xFF\xFE", "[actuator]\r\nmaxActuatorSpeed=7\r\n", false), "7"},
        LookupCase{"Utf16BigEndian", utf16("\xFE\xFF", "[actuator]\r\nmaxActuatorSpeed=7\r\n", true), "7"},
        LookupCase{"NamesIgnoreCase", "[ACTUATOR]\nMAXACTUATORSPEED=500\n", "500"},
        LookupCase{"BlanksAroundNamesAndValues", "  [actuator]  \n\t maxActuatorSpeed \t=  500 \t\n", "500"},
        LookupCase{"DoubleQuotes", "[actuator]\nmaxActuatorSpeed=\"500\"\n", "500"},
        LookupCase{"SingleQuotes", "[actuator]\nmaxActuatorSpeed='500'\n", "500"},
        LookupCase{"UnmatchedQuotesStay", "[actuator]\nmaxActuatorSpeed=\"500'\n", "\"500'"},
        LookupCase{"EmptyValueIsEmpty", "[actuator]\nmaxActuatorSpeed=\n", ""},
        LookupCase{"FirstKeyWins", "[actuator]\nmaxActuatorSpeed=1\nmaxActuatorSpeed=2\n", "1"},
        LookupCase{"FirstSectionWins",
                   "[actuator]\nother=1\n[actuator]\nmaxActuatorSpeed=2\n", "DEFAULT"},
        LookupCase{"LinesBeforeAnySectionIgnored", "maxActuatorSpeed=9\n[actuator]\n", "DEFAULT"},
        LookupCase{"OtherSectionIgnored", "[other]\nmaxActuatorSpeed=9\n", "DEFAULT"},
        LookupCase{"KeyWithoutEqualsGivesDefault", "[actuator]\nmaxActuatorSpeed\n", "DEFAULT"},
        LookupCase{"CommentedOut", "[actuator]\n;maxActuatorSpeed=9\n", "DEFAULT"},
        LookupCase{"NoFile", "", "DEFAULT"},
        LookupCase{"CutTo255", "[actuator]\nmaxActuatorSpeed=" + std::string(300, 'x') + "\n",
                   std::string(255, 'x')}),
    [](const ::testing::TestParamInfo<LookupCase>& c) { return c.param.name; });

struct NumberCase {
  const char* text;
  std::int32_t value;
};

void PrintTo(const NumberCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class SettingNumber : public ::testing::TestWithParam<NumberCase> {};

TEST_P(SettingNumber, ReadsLikeAtoiButSaturates) {
  EXPECT_EQ(app::parseSettingNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingNumber,
    ::testing::Values(NumberCase{"20000", 20000}, NumberCase{"  \t42", 42}, NumberCase{"+7", 7},
                      NumberCase{"-5", -5}, NumberCase{"12abc", 12}, NumberCase{"abc", 0},
                      NumberCase{"", 0}, NumberCase{"- 5", 0}, NumberCase{"+-5", 0},
                      NumberCase{"3.9", 3}, NumberCase{"0x10", 0},
                      NumberCase{"2147483647", 2147483647},
                      NumberCase{"2147483648", 2147483647},
                      NumberCase{"4294967297", 2147483647},
                      NumberCase{"99999999999999999999999999", 2147483647},
                      NumberCase{"-2147483648", -2147483647 - 1},
                      NumberCase{"-99999999999999999999", -2147483647 - 1}));

// Settings as the receivers read them, from a file in a scratch folder.
class ReadSettings : public ::testing::Test {
 protected:
  void TearDown() override { std::remove(path_.c_str()); }
  app::Settings read(const std::string& contents, const app::SideProfile& side = app::kLeftProfile) {
    std::ofstream(path_, std::ios::binary) << contents;
    return app::readSettings(side, path_.c_str());
  }
  // One file a test: tests of this suite may run at the same time.
  std::string path_ = ::testing::TempDir() + "brenik-settings-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini";
};

TEST_F(ReadSettings, DefaultsWithoutAFile) {
  for (const app::SideProfile* side : {&app::kLeftProfile, &app::kRightProfile}) {
    const app::Settings s = app::readSettings(*side, "no-such-folder/brenik.ini");
    EXPECT_EQ(s.portName, side == &app::kLeftProfile ? "COM8" : "COM9");
    EXPECT_EQ(s.limits.maxSpeed, 20000);
    EXPECT_EQ(s.limits.maxAcceleration, 33);
    EXPECT_EQ(s.reversal, 1);
  }
}

TEST_F(ReadSettings, ClampsEveryNumberToItsRange) {
  struct Case {
    std::string speed, accel, reversal;
    std::int32_t expectSpeed, expectAccel, expectReversal;
  };
  for (const Case& c : {Case{"50000", "250", "7", 20000, 100, 1}, Case{"-5", "-1", "-1", 0, 0, 0},
                        Case{"fast", "quick", "yes", 0, 0, 0}, Case{"4294967297", "4294967297", "0", 20000, 100, 0},
                        Case{"1234", "12", "0", 1234, 12, 0}}) {
    const app::Settings s = read("[actuator]\nmaxActuatorSpeed=" + c.speed + "\nmaxActuatorAccel=" +
                                 c.accel + "\naxisReversalMode=" + c.reversal + "\n");
    EXPECT_EQ(s.limits.maxSpeed, c.expectSpeed) << c.speed;
    EXPECT_EQ(s.limits.maxAcceleration, c.expectAccel) << c.accel;
    EXPECT_EQ(s.reversal, c.expectReversal) << c.reversal;
  }
}

TEST_F(ReadSettings, EachSideReadsOnlyItsOwnPortKey) {
  const std::string file = "[actuator]\nl_com=COM3\nr_com=\"COM4\"\n";
  EXPECT_EQ(read(file, app::kLeftProfile).portName, "COM3");
  EXPECT_EQ(read(file, app::kRightProfile).portName, "COM4");
  EXPECT_EQ(read("[actuator]\nr_com=COM4\n", app::kLeftProfile).portName, "COM8");
  // An empty value is used as it stands, not replaced by the default.
  EXPECT_EQ(read("[actuator]\nl_com=\n", app::kLeftProfile).portName, "");
}

}  // namespace
