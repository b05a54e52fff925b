// Windows' own profile reader (under Wine) and the native one must read every settings file to
// the same port name, speed, acceleration and reversal. The Windows side is settings_probe.exe;
// the windows build runs this test with BRENIK_SETTINGS_PROBE, BRENIK_LAUNCHER and WINEPREFIX.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/settings.h"
#include "settings_line.h"
#include "support/scratch_dir.h"

namespace {

// Windows hands a value read from a Unicode file over in its ANSI code page (Windows-1252 with
// the locale the test pins), the native build in UTF-8: the same characters, each platform's
// own bytes.
enum class Bytes { Same, Characters };

struct SettingsFile {
  std::string name;
  std::string bytes;
  Bytes compare = Bytes::Same;
};

// Windows-1252 agrees with Latin-1 from 0xA0 up, which is all the corpus uses beyond ASCII.
std::string utf8ToLatin1(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0xC0 && byte < 0xC4 && i + 1 < text.size()) {
      out += static_cast<char>((byte & 0x03) << 6 | (static_cast<unsigned char>(text[++i]) & 0x3F));
    } else {
      out += text[i];
    }
  }
  return out;
}

const std::string kPlain =
    "[actuator]\n"
    "l_com=COM3\n"
    "r_com=COM4\n"
    "maxActuatorSpeed=1234\n"
    "maxActuatorAccel=56\n"
    "axisReversalMode=0\n"
    "gentleSpeedPercent=0\n"  // below its smallest, 1
    "rampSeconds=2\n"
    "idleLevelSeconds=75\n"  // beyond its largest, 60
    "stopLevelSeconds=3\n";

std::string withLineEnds(const std::string& text, const std::string& end) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += end;
    } else {
      out += c;
    }
  }
  return out;
}

// UTF-8 text as UTF-16 with a byte-order mark, as Notepad saves "Unicode" files.
std::string utf16(const std::string& utf8, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    unsigned cp = lead;
    std::size_t length = 1;
    if (lead >= 0xE0) {
      cp = lead & 0x0F;
      length = 3;
    } else if (lead >= 0xC0) {
      cp = lead & 0x1F;
      length = 2;
    }
    for (std::size_t k = 1; k < length; ++k) cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += length;
    const char high = static_cast<char>(cp >> 8);
    const char low = static_cast<char>(cp & 0xFF);
    out += bigEndian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// A settings file whose [actuator] section holds `lines` (joined by LF).
std::string section(const std::string& lines) { return "[actuator]\n" + lines + "\n"; }

std::vector<SettingsFile> corpus() {
  const std::string long300(300, 'P');
  const std::string zeros252(252, '0');
  return {
      // Line ends and byte-order marks.
      {"lf", kPlain},
      {"crlf", withLineEnds(kPlain, "\r\n")},
      {"lone cr", withLineEnds(kPlain, "\r")},
      {"lf cr", withLineEnds(kPlain, "\n\r")},
      {"mixed ends", "[actuator]\r\nl_com=COM3\rr_com=COM4\nmaxActuatorSpeed=1234\r\n\r\n"
                     "maxActuatorAccel=56\raxisReversalMode=0"},
      {"no final line end", "[actuator]\nmaxActuatorSpeed=1234"},
      {"utf-8 bom", "\xEF\xBB\xBF" + withLineEnds(kPlain, "\r\n")},
      {"utf-8 bom, key on first line", "\xEF\xBB\xBF[actuator]\r\nmaxActuatorSpeed=77\r\n"},
      {"utf-8 bom only", "\xEF\xBB\xBF"},
      {"utf-8 no bom, accented comment", "; r\xC3\xA9glages du si\xC3\xA8ge\n" + kPlain},
      {"utf-16 le", utf16(withLineEnds(kPlain, "\r\n"), false)},
      {"utf-16 be", utf16(withLineEnds(kPlain, "\r\n"), true)},
      {"utf-16 le, accented comment", utf16("; r\xC3\xA9glages \xE2\x82\xAC\r\n" + kPlain, false)},
      {"utf-16 le, lone cr", utf16(withLineEnds(kPlain, "\r"), false)},
      {"utf-16 le bom only", "\xFF\xFE"},
      {"ansi accented comment", "; r\xE9glages du si\xE8ge\r\n" + withLineEnds(kPlain, "\r\n")},
      {"byte-order mark inside the file", "[actuator]\n\xEF\xBB\xBFl_com=COM3\nr_com=COM4\n"},
      {"utf-8 value beyond ascii", "\xEF\xBB\xBF" + section("l_com=COM\xC3\xA9" "3\nr_com=\xC3\xA9"),
       Bytes::Characters},
      {"utf-16 value beyond ascii", utf16(section("l_com=COM\xC3\xA9" "3\nr_com=\xC3\xA9"), false),
       Bytes::Characters},
      {"ansi value beyond ascii", section("l_com=COM\xE9" "3\nr_com=\xE9")},
      {"ctrl-z at the end", withLineEnds(kPlain, "\r\n") + "\x1A"},
      {"empty file", ""},
      {"blank lines only", "\n  \n\t\n"},

      // Quotes.
      {"double quotes", section("l_com=\"COM3\"\nr_com=\"COM4\"\nmaxActuatorSpeed=\"1234\"")},
      {"single quotes", section("l_com='COM3'\nr_com='COM4'\nmaxActuatorAccel='12'")},
      {"opening quote only", section("l_com=\"COM3\nr_com='COM4")},
      {"closing quote only", section("l_com=COM3\"\nr_com=COM4'")},
      {"mismatched quotes", section("l_com=\"COM3'\nr_com='COM4\"")},
      {"empty quotes", section("l_com=\"\"\nr_com=''")},
      {"blanks inside quotes", section("l_com=\"  COM3  \"\nr_com=' COM4'")},
      {"doubled quotes", section("l_com=\"\"COM3\"\"\nr_com=\"CO\"M4\"")},
      {"quotes and blanks around", section("l_com=  \"COM3\"  \nr_com=\t'COM4'\t")},
      {"quoted number with blanks", section("maxActuatorSpeed=\" 321\"\nmaxActuatorAccel=\"7 \"")},
      {"lone quote", section("l_com=\"\nr_com='")},

      // Case.
      {"section in capitals", "[ACTUATOR]\nl_com=COM3\nr_com=COM4\n"},
      {"keys in mixed case", section("L_COM=COM3\nR_Com=COM4\nMAXACTUATORSPEED=99\nmaxactuatoraccel=9\n"
                                     "AxisReversalMode=0")},

      // White space.
      {"blanks around names and values", section("  l_com  =  COM3  \n\tr_com\t=\tCOM4\t\n"
                                                  " maxActuatorSpeed =  1234 ")},
      {"blanks inside section brackets", "[ actuator ]\nl_com=COM3\nr_com=COM4\n"},
      {"tabs inside section brackets", "[\tactuator\t]\nl_com=COM3\nr_com=COM4\n"},
      {"blanks before section", "   [actuator]\nl_com=COM3\nr_com=COM4\n"},
      {"text after section", "[actuator] ; seat\nl_com=COM3\nr_com=COM4\n"},
      {"junk after section", "[actuator]x\nl_com=COM3\nr_com=COM4\n"},
      {"blank inside section name", "[act uator]\nl_com=COM3\nr_com=COM4\n"},
      {"blank inside key name", section("l com=COM3\nmax ActuatorSpeed=5")},
      {"blanks inside value", section("l_com=COM 3\nr_com=C O M 4")},
      {"form feed and vertical tab around value", section("l_com=\fCOM3\v\nr_com=\vCOM4\f")},

      // Comments.
      {"semicolon comments", section(";l_com=COM1\n; r_com=COM2\n  ;maxActuatorSpeed=1")},
      {"hash lines", section("#l_com=COM1\n# r_com=COM2\n#maxActuatorSpeed=1")},
      {"text after value", section("l_com=COM3 ; left seat\nr_com=COM4 # right\n"
                                   "maxActuatorSpeed=1234 ; fast")},
      {"commented section", ";[actuator]\nl_com=COM3\n[actuator]\nr_com=COM4\n"},

      // Duplicates.
      {"duplicate keys", section("l_com=COM3\nl_com=COM5\nmaxActuatorSpeed=1\nmaxActuatorSpeed=2")},
      {"duplicate sections",
       "[actuator]\nl_com=COM3\nmaxActuatorSpeed=11\n[other]\nr_com=COM6\n"
       "[actuator]\nr_com=COM4\nmaxActuatorSpeed=22\nmaxActuatorAccel=44\n"},
      {"empty first section", "[actuator]\n[actuator]\nl_com=COM3\nr_com=COM4\n"},
      {"section differing in case twice", "[actuator]\nl_com=COM3\n[ACTUATOR]\nr_com=COM4\n"},

      // Keys without '=' and empty values.
      {"key without equals", section("maxActuatorSpeed\nl_com\nr_com")},
      {"key without equals, then with", section("maxActuatorSpeed\nmaxActuatorSpeed=5\nl_com\nl_com=COM3")},
      {"empty values", section("l_com=\nr_com=\nmaxActuatorSpeed=\nmaxActuatorAccel=\naxisReversalMode=")},
      {"blank values", section("l_com=   \nr_com=\t\nmaxActuatorSpeed=  ")},
      {"empty name", section("=5\n =COM7")},
      {"equals in value", section("l_com=CO=M3\nr_com==COM4")},
      {"quoted name", section("\"l_com\"=COM3\n'r_com'=COM4")},
      {"key name as a prefix", section("l_comX=COM7\nl_com=COM3\nr_com2=COM6\nr_com=COM4")},
      {"quoted value then comment", section("l_com=\"COM3\" ; left\nr_com='COM4' ;")},

      // Long values: a value keeps its first 255 characters.
      {"long port", section("l_com=" + long300 + "\nr_com=" + long300)},
      {"long number cut short", section("maxActuatorSpeed=" + zeros252 + "12345")},
      {"long line elsewhere", section("; " + long300 + long300 + "\nl_com=COM3")},
      {"value of 255 and 256 characters",
       section("l_com=" + std::string(255, 'L') + "\nr_com=" + std::string(256, 'R'))},

      // Numbers.
      {"signs", section("maxActuatorSpeed=+50\nmaxActuatorAccel=-5\naxisReversalMode=-0")},
      {"two signs", section("maxActuatorSpeed=+-3\nmaxActuatorAccel=--4\naxisReversalMode=+1")},
      {"sign then blank", section("maxActuatorSpeed=- 3\nmaxActuatorAccel=+ 4")},
      {"digits then junk", section("maxActuatorSpeed=12abc\nmaxActuatorAccel=0x10\naxisReversalMode=1e3")},
      {"junk", section("maxActuatorSpeed=abc\nmaxActuatorAccel=fast\naxisReversalMode=yes")},
      {"above range", section("maxActuatorSpeed=50000\nmaxActuatorAccel=250\naxisReversalMode=7")},
      {"overflow", section("maxActuatorSpeed=99999999999\nmaxActuatorAccel=4294967297\n"
                           "axisReversalMode=2147483648")},
      {"negative overflow", section("maxActuatorSpeed=-99999999999\nmaxActuatorAccel=-4294967297")},
      {"leading zeros", section("maxActuatorSpeed=000123\nmaxActuatorAccel=0007")},
      {"decimal point", section("maxActuatorSpeed=12.9\nmaxActuatorAccel=.5")},

      // Where the section is.
      {"keys before any section", "l_com=COM3\nmaxActuatorSpeed=5\n[actuator]\nr_com=COM4\n"},
      {"other section only", "[seat]\nl_com=COM3\nr_com=COM4\nmaxActuatorSpeed=5\n"},
      {"section never closed", "[actuator\nl_com=COM3\nr_com=COM4\n"},
      {"empty section name", "[]\nl_com=COM3\n[actuator]\nr_com=COM4\n"},
      {"doubled closing bracket", "[actuator]]\nl_com=COM3\nr_com=COM4\n"},
      {"lone bracket line", "[actuator]\n[\nl_com=COM3\nr_com=COM4\n"},
      {"brackets in section name", "[[actuator]]\nl_com=COM3\n[actuator]\nr_com=COM4\n"},
  };
}

// Settings files the fuzzer found at corners where two readers could disagree, if any.
std::vector<SettingsFile> fuzzFindings() {
  std::vector<SettingsFile> found;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(BRENIK_SETTINGS_FINDINGS_DIR, error)) {
    if (entry.path().extension() != ".ini") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    found.push_back({"fuzz finding " + entry.path().filename().string(),
                     std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
  }
  std::sort(found.begin(), found.end(),
            [](const SettingsFile& a, const SettingsFile& b) { return a.name < b.name; });
  return found;
}

std::string fileName(std::size_t index) { return "case-" + std::to_string(index) + ".ini"; }

std::string shellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;) out.push_back(word);
  return out;
}

// Runs the Windows probe over every file in `dir` for the left side, then for the right, in one
// start of the probe: one output line a file, the left side's lines first.
std::vector<std::string> windowsReadings(const std::string& probe, const std::string& launcher,
                                         const std::string& dir, std::size_t count) {
  std::string command = "cd " + shellQuoted(dir) + " &&";
  for (const std::string& word : words(launcher)) command += " " + shellQuoted(word);
  command += " " + shellQuoted(probe);
  for (const char* side : {"L", "R"}) {
    command += std::string(" ") + side;
    // A relative name with a folder part, as the receivers use: Windows then reads it from the
    // working folder rather than from its own folder.
    for (std::size_t i = 0; i < count; ++i) command += " ./" + fileName(i);
  }
  std::vector<std::string> lines;
  std::FILE* out = ::popen(command.c_str(), "r");
  if (out == nullptr) return lines;
  std::string line;
  for (int c = std::fgetc(out); c != EOF; c = std::fgetc(out)) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {  // the Windows console runtime writes CR LF
      line += static_cast<char>(c);
    }
  }
  ::pclose(out);
  return lines;
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The corpus, written once, and Windows' readings of it for both sides.
class SettingsParity : public testing::TestWithParam<const app::SideProfile*> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new testsupport::ScratchDir;
    files_ = corpus();
    for (SettingsFile& finding : fuzzFindings()) files_.push_back(std::move(finding));
    for (std::size_t i = 0; i < files_.size(); ++i) {
      if (!dir_->write(fileName(i), files_[i].bytes)) return;
    }
    written_ = true;
    const std::string probe = environment("BRENIK_SETTINGS_PROBE");
    if (!probe.empty()) {
      readings_ = windowsReadings(probe, environment("BRENIK_LAUNCHER"), dir_->path(), files_.size());
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static testsupport::ScratchDir* dir_;
  static std::vector<SettingsFile> files_;
  static std::vector<std::string> readings_;
  static bool written_;
};
testsupport::ScratchDir* SettingsParity::dir_ = nullptr;
std::vector<SettingsFile> SettingsParity::files_;
std::vector<std::string> SettingsParity::readings_;
bool SettingsParity::written_ = false;

TEST_P(SettingsParity, NativeReaderReadsEveryFileAsWindowsDoes) {
  ASSERT_FALSE(environment("BRENIK_SETTINGS_PROBE").empty())
      << "BRENIK_SETTINGS_PROBE names settings_probe.exe; the windows build's ctest sets it";
  const app::SideProfile& profile = *GetParam();
  ASSERT_TRUE(written_) << "the corpus could not be written to " << dir_->path();
  const std::vector<SettingsFile>& files = files_;
  ASSERT_EQ(readings_.size(), 2 * files.size()) << "the probe printed one line per file and side";
  const auto first = readings_.begin() + (profile.side == motion::Side::Left ? 0 : files.size());
  const std::vector<std::string> windows(first, first + files.size());

  for (std::size_t i = 0; i < files.size(); ++i) {
    app::Settings native = app::readSettings(profile, dir_->file(fileName(i)).c_str());
    if (files[i].compare == Bytes::Characters) {
      const std::string utf8 = native.portName;
      native.portName = utf8ToLatin1(utf8);
      EXPECT_NE(native.portName, utf8) << "the native reader gives UTF-8; file: " << files[i].name;
    }
    EXPECT_EQ(settingsparity::describeSettings(native), windows[i]) << "file: " << files[i].name;
  }

  // Both readers agreeing on defaults alone would prove nothing: the plain file must be read.
  const auto reading = [&](const std::string& name) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (files[i].name == name) return windows[i];
    }
    return std::string("no such file in the corpus");
  };
  const std::string plainPort = profile.side == motion::Side::Left ? "COM3" : "COM4";
  EXPECT_EQ(reading("crlf"), "port=" + plainPort +
                                " speed=1234 accel=56 reversal=0 gentle=1 ramp=2 idle=60 "
                                "stopLevel=3");
  EXPECT_EQ(reading("empty file"), "port=" + std::string(profile.defaultPort) +
                                       " speed=20000 accel=33 reversal=1 gentle=10 ramp=0 idle=0 "
                                       "stopLevel=0");
}

INSTANTIATE_TEST_SUITE_P(BothSides, SettingsParity,
                         testing::Values(&app::kLeftProfile, &app::kRightProfile),
                         [](const testing::TestParamInfo<const app::SideProfile*>& param) {
                           return std::string(param.param->programName);
                         });

}  // namespace
