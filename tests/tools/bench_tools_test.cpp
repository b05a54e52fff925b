// The bench tools' own logic: argument reading, motions, the datagram text, the stroke table, the
// relay's conversion and when a failing program keeps its window.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "tools/arguments.h"
#include "tools/motion_source.h"
#include "tools/relay_conversion.h"
#include "tools/relay_options.h"
#include "tools/send_options.h"
#include "tools/stroke_table.h"
#include "support/comma_decimal_locale.h"

namespace {

// A tool's parser run on argv from a list, with the program name in front.
template <typename Parser>
auto parse(Parser parser, const char* program, const std::vector<std::string>& arguments) {
  std::vector<const char*> argv{program};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  return parser(static_cast<int>(argv.size()), argv.data());
}

auto send(const std::vector<std::string>& arguments) {
  return parse(bench::parseSendArguments, "brenik-send", arguments);
}

auto strokes(const std::vector<std::string>& arguments) {
  return parse(bench::parseStrokeArguments, "brenik-strokes", arguments);
}

auto relay(const std::vector<std::string>& arguments) {
  return parse(bench::parseRelayArguments, "brenik-relay", arguments);
}

// What a command line asks for, or its refusal with the reason, so a failed check shows why.
template <typename Command>
std::string asked(const platform::Result<Command>& command) {
  if (!command) return "refused: " + command.failure().reason;
  const bench::Asked what = command->asked;
  return what == bench::Asked::Run ? "run" : what == bench::Asked::Help ? "help" : "version";
}

TEST(ParseNumber, TakesPlainDecimalsOnly) {
  EXPECT_EQ(bench::parseNumber("12"), 12.0);
  EXPECT_EQ(bench::parseNumber("-0.5"), -0.5);
  EXPECT_EQ(bench::parseNumber("+2.5e1"), 25.0);
  for (const char* bad : {"", " 1", "1 ", "1,5", "0x10", "inf", "nan", "1e999", "3deg", "-"}) {
    EXPECT_FALSE(bench::parseNumber(bad)) << bad;
  }
}

TEST(ParseNumber, ReadsAPointInACommaDecimalLocale) {
  const testsupport::CommaDecimalLocale locale;
  ASSERT_TRUE(locale.set()) << "no locale " << testsupport::kCommaDecimalLocale
                            << " (scripts/setup.sh makes it)";
  EXPECT_EQ(bench::parseNumber("2.5"), 2.5);
  EXPECT_EQ(bench::parseNumbers("-10.5,0.9", 2), (std::vector<double>{-10.5, 0.9}));
  EXPECT_FALSE(bench::parseNumber("2,5"));
}

TEST(ParseHostPort, SplitsAtTheLastColonAndChecksThePort) {
  const auto target = bench::parseHostPort("seat-pc.local:11111");
  ASSERT_TRUE(target);
  EXPECT_EQ(target->host, "seat-pc.local");
  EXPECT_EQ(target->port, 11111);
  EXPECT_EQ(bench::parseHostPort("127.0.0.1:65535")->port, 65535);
  for (const char* bad : {"127.0.0.1", ":11111", "host:", "host:0", "host:65536", "host:12a",
                          "host:-1", "host:999999"}) {
    EXPECT_FALSE(bench::parseHostPort(bad)) << bad;
  }
}

struct SendRefusal {
  std::vector<std::string> arguments;
  const char* mentions;  // the message names what is wrong
};

// Parameterised cases are listed by what they hold, the same in every build.
void PrintTo(const SendRefusal& c, std::ostream* out) {
  for (const std::string& argument : c.arguments) *out << argument << ' ';
}

class SendRefusals : public testing::TestWithParam<SendRefusal> {};

TEST_P(SendRefusals, RefuseWithOneLineNamingTheProblem) {
  const std::string said = asked(send(GetParam().arguments));
  EXPECT_EQ(said.rfind("refused: ", 0), 0u) << said;
  EXPECT_NE(said.find(GetParam().mentions), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), std::string::npos);
}

std::string refusalName(const testing::TestParamInfo<SendRefusal>& info) {
  return "Case" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(
    BadArguments, SendRefusals,
    testing::Values(
        SendRefusal{{}, "no motion"},
        SendRefusal{{"--rate", "100"}, "no motion"},
        SendRefusal{{"--hold", "10"}, "PITCH,ROLL"},
        SendRefusal{{"--hold", "10,5,3"}, "PITCH,ROLL"},
        SendRefusal{{"--hold", "ten,5"}, "PITCH,ROLL"},
        SendRefusal{{"--hold", "1,1", "--step", "2,2"}, "two motions"},
        SendRefusal{{"--sine-pitch", "5", "--sweep", "both"}, "two motions"},
        SendRefusal{{"--hold", "1,1", "--rate", "0"}, "--rate"},
        SendRefusal{{"--hold", "1,1", "--rate", "-5"}, "--rate"},
        SendRefusal{{"--hold", "1,1", "--rate", "20000"}, "--rate"},
        SendRefusal{{"--hold", "1,1", "--duration", "0"}, "--duration"},
        SendRefusal{{"--hold", "1,1", "--duration"}, "needs a value"},
        SendRefusal{{"--hold", "1,1", "--to", "127.0.0.1"}, "HOST:PORT"},
        SendRefusal{{"--hold", "1,1", "--to", "127.0.0.1:0"}, "HOST:PORT"},
        SendRefusal{{"--sine-pitch", "5,-1"}, "frequency"},
        SendRefusal{{"--sine-roll", "5,1,2,3"}, "AMPLITUDE"},
        SendRefusal{{"--sweep", "yaw"}, "pitch, roll or both"},
        SendRefusal{{"--hold", "1,1", "--step-at", "2"}, "--step-at"},
        SendRefusal{{"--step", "1,1", "--step-at", "-1"}, "--step-at"},
        SendRefusal{{"--hold", "1,1", "--sweep-period", "5"}, "--sweep-period"},
        SendRefusal{{"--hold", "1,1", "--quiet=yes"}, "takes no value"},
        SendRefusal{{"--hold", "1,1", "--fast"}, "unknown option --fast"},
        SendRefusal{{"--hold", "1,1", "extra"}, "unexpected argument"},
        SendRefusal{{"--hold", "1,1", "--pause-after", "2"}, "go together"},
        SendRefusal{{"--hold", "1,1", "--pause-for", "2"}, "go together"},
        SendRefusal{{"--hold", "1,1", "--pause-after", "-1", "--pause-for", "2"}, "--pause-after"},
        SendRefusal{{"--hold", "1,1", "--pause-after", "1", "--pause-for", "0"}, "--pause-for"}),
    refusalName);

TEST(SendArguments, DefaultsToBothLocalReceiversAtOneHundredHertzForTenSeconds) {
  const auto command = send({"--hold", "-10,2.5"});
  ASSERT_EQ(asked(command), "run");
  const bench::SendOptions& options = command->options;
  ASSERT_EQ(options.targets.size(), 2u);
  EXPECT_EQ(options.targets[0].host, "127.0.0.1");
  EXPECT_EQ(options.targets[0].port, 11111);
  EXPECT_EQ(options.targets[1].port, 22222);
  EXPECT_EQ(options.rate, 100.0);
  EXPECT_EQ(options.duration, 10.0);
  EXPECT_EQ(options.motion.kind, bench::Motion::Kind::Hold);
  EXPECT_EQ(options.motion.angles.pitch, -10.0);
  EXPECT_EQ(options.motion.angles.roll, 2.5);
}

TEST(SendArguments, ReadsEveryOptionInBothSpellings) {
  const auto command =
      send({"--sine-pitch=10,0.5", "--sine-roll", "4,0.25,90", "--to", "127.0.0.1:5000",
            "--to=localhost:6000", "--rate=250", "--duration", "2.5", "--log", "sent.csv", "-q"});
  ASSERT_EQ(asked(command), "run");
  const bench::SendOptions& options = command->options;
  ASSERT_EQ(options.targets.size(), 2u);
  EXPECT_EQ(options.targets[1].host, "localhost");
  EXPECT_EQ(options.targets[1].port, 6000);
  EXPECT_EQ(options.rate, 250.0);
  EXPECT_EQ(options.duration, 2.5);
  EXPECT_EQ(options.logPath, "sent.csv");
  EXPECT_TRUE(options.quiet);
  EXPECT_EQ(options.motion.kind, bench::Motion::Kind::Sine);
  EXPECT_EQ(options.motion.pitchWave.amplitude, 10.0);
  EXPECT_EQ(options.motion.pitchWave.frequency, 0.5);
  EXPECT_EQ(options.motion.pitchWave.phase, 0.0);
  EXPECT_EQ(options.motion.rollWave.phase, 90.0);
}

TEST(SendArguments, APauseSendsNothingFromItsStartForItsLength) {
  const auto command = send({"--hold", "1,1", "--pause-after", "2", "--pause-for=1.5"});
  ASSERT_EQ(asked(command), "run");
  const struct {
    double offset;
    bool paused;
  } ticks[] = {{0.0, false}, {1.99, false}, {2.0, true}, {3.49, true}, {3.5, false}};
  for (const auto& tick : ticks) {
    EXPECT_EQ(bench::pausedAt(command->options, tick.offset), tick.paused) << tick.offset;
  }
  EXPECT_FALSE(bench::pausedAt(send({"--hold", "1,1"})->options, 0.0));
}

TEST(SendArguments, AReplayLastsAsLongAsItsFileUnlessTold) {
  EXPECT_FALSE(send({"--replay", "run.csv"})->options.duration);
  EXPECT_EQ(send({"--replay", "run.csv", "--duration", "3"})->options.duration, 3.0);
  EXPECT_EQ(asked(send({"--help"})), "help");
  EXPECT_EQ(asked(send({"--hold", "1,1", "-h"})), "help");
}

// An angle pair is typed "5,0" as a datagram carries it, or "5 0"; both tools take both.
TEST(AnglePairArguments, BothToolsTakeOneArgumentOrTwo) {
  const struct {
    std::vector<std::string> arguments;
    double pitch, roll;
  } sendForms[] = {{{"--hold", "5,0"}, 5, 0},
                   {{"--hold", "5", "0"}, 5, 0},
                   {{"--hold=-5", "-2.5", "--duration", "1"}, -5, -2.5},
                   {{"--step", "-1", "2", "--step-at", "1"}, -1, 2}},
    strokeForms[] = {{{"--sent", "5,0"}, 5, 0},
                     {{"--sent", "5", "0"}, 5, 0},
                     {{"-5,2.5"}, -5, 2.5},
                     {{"-5", "2.5"}, -5, 2.5}};
  for (const auto& form : sendForms) {
    const auto command = send(form.arguments);
    ASSERT_EQ(asked(command), "run") << form.arguments[1];
    EXPECT_EQ(command->options.motion.angles.pitch, form.pitch) << form.arguments[1];
    EXPECT_EQ(command->options.motion.angles.roll, form.roll) << form.arguments[1];
  }
  for (const auto& form : strokeForms) {
    const auto command = strokes(form.arguments);
    ASSERT_EQ(asked(command), "run") << form.arguments.back();
    EXPECT_EQ(command->options.pitch.from, form.pitch) << form.arguments.back();
    EXPECT_EQ(command->options.roll.from, form.roll) << form.arguments.back();
  }
  EXPECT_NE(asked(send({"--hold", "5", "0", "1"})).find("unexpected argument '1'"), std::string::npos);
  EXPECT_NE(asked(send({"--hold", "5", "--", "0"})).find("PITCH,ROLL"), std::string::npos);
  EXPECT_NE(asked(strokes({"5,0", "1"})).find("PITCH '5,0'"), std::string::npos);
  EXPECT_NE(asked(strokes({"5,0,1"})).find("'5,0,1': expected PITCH,ROLL"), std::string::npos);
}

TEST(DatagramCount, OneTickPerPeriodBeforeTheEnd) {
  EXPECT_EQ(bench::datagramCount(100.0, 10.0), 1000);
  EXPECT_EQ(bench::datagramCount(100.0, 1.1), 110);  // 1.1·100 comes out a hair above 110
  EXPECT_EQ(bench::datagramCount(100.0, 0.105), 11);
  EXPECT_EQ(bench::datagramCount(3.0, 1.0), 3);
  EXPECT_EQ(bench::datagramCount(1.0, 0.5), 1);
  // A product beyond the integer range once came out negative: nothing sent, status 0.
  EXPECT_GT(bench::datagramCount(100.0, 1e17), 0);
  EXPECT_LE(bench::datagramCount(1e300, 1e300), bench::datagramCount(1e4, bench::kMaxDuration) + 1);
}

TEST(AngleMessage, PitchCommaRollWithThreeDecimalsAndNoNegativeZero) {
  EXPECT_EQ(bench::formatAngleMessage(10.0, -5.0), "10.000,-5.000");
  EXPECT_EQ(bench::formatAngleMessage(1.23456, -0.0004), "1.235,0.000");
  EXPECT_EQ(bench::formatAngleMessage(-0.0, 20.0), "0.000,20.000");
  EXPECT_EQ(bench::formatAngleMessage(-19.9996, 0.0006), "-20.000,0.001");
}

TEST(Motions, HoldAndStep) {
  bench::Motion hold;
  hold.angles = {3.0, -4.0};
  EXPECT_EQ(bench::anglesAt(hold, 0.0).pitch, 3.0);
  EXPECT_EQ(bench::anglesAt(hold, 99.0).roll, -4.0);

  bench::Motion step = hold;
  step.kind = bench::Motion::Kind::Step;
  step.stepAt = 1.5;
  EXPECT_EQ(bench::anglesAt(step, 1.49).pitch, 0.0);
  EXPECT_EQ(bench::anglesAt(step, 1.49).roll, 0.0);
  EXPECT_EQ(bench::anglesAt(step, 1.5).pitch, 3.0);
  EXPECT_EQ(bench::anglesAt(step, 7.0).roll, -4.0);
}

TEST(Motions, SineHasItsAmplitudeFrequencyAndPhasePerAxis) {
  bench::Motion sine;
  sine.kind = bench::Motion::Kind::Sine;
  sine.pitchWave = {10.0, 0.5, 0.0};
  sine.rollWave = {4.0, 0.25, 90.0};
  const double r = 4.0 * std::sqrt(0.5);  // 4·sin 45°
  const struct {
    double seconds, pitch, roll;
  } expected[] = {{0.0, 0.0, 4.0}, {0.5, 10.0, r}, {1.0, 0.0, 0.0}, {1.5, -10.0, -r},
                  {2.0, 0.0, -4.0}};
  for (const auto& e : expected) {
    const bench::Angles angles = bench::anglesAt(sine, e.seconds);
    EXPECT_NEAR(angles.pitch, e.pitch, 1e-9) << e.seconds;
    EXPECT_NEAR(angles.roll, e.roll, 1e-9) << e.seconds;
  }
}

TEST(Motions, SweepRunsLevelUpDownLevelThroughTheWorkingRange) {
  bench::Motion sweep;
  sweep.kind = bench::Motion::Kind::Sweep;
  sweep.sweepPeriod = 40.0;
  sweep.sweepAxes = bench::SweepAxes::Pitch;
  const struct {
    double seconds, angle;
  } expected[] = {{0, 0}, {5, 10}, {10, 20}, {20, 0}, {30, -20}, {35, -10}, {40, 0}, {50, 20}};
  for (const auto& e : expected) {
    const bench::Angles angles = bench::anglesAt(sweep, e.seconds);
    EXPECT_NEAR(angles.pitch, e.angle, 1e-9) << e.seconds;
    EXPECT_EQ(angles.roll, 0.0);
  }
  sweep.sweepAxes = bench::SweepAxes::Roll;
  EXPECT_EQ(bench::anglesAt(sweep, 10.0).pitch, 0.0);
  EXPECT_NEAR(bench::anglesAt(sweep, 10.0).roll, 20.0, 1e-9);
  sweep.sweepAxes = bench::SweepAxes::Both;
  EXPECT_NEAR(bench::anglesAt(sweep, 30.0).pitch, -20.0, 1e-9);
  EXPECT_NEAR(bench::anglesAt(sweep, 30.0).roll, -20.0, 1e-9);
}

TEST(Replay, ReadsRowsSkippingHeaderCommentsAndBlankLines) {
  const auto read = bench::parseReplay(
      "time,pitch,roll\r\n# recorded on the bench\n\n812.5, 1, 2\r\n813.5,3,-4,extra\n");
  ASSERT_TRUE(read) << read.failure().reason;
  const std::vector<bench::ReplaySample>& samples = *read;
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].time, 812.5);
  EXPECT_EQ(samples[0].roll, 2.0);
  EXPECT_EQ(samples[1].pitch, 3.0);
  EXPECT_EQ(samples[1].roll, -4.0);
}

TEST(Replay, RefusesTablesItCannotPlay) {
  const struct {
    const char* text;
    const char* mentions;
  } cases[] = {
      {"", "no rows"},
      {"time,pitch,roll\n", "no rows"},
      {"0,1,2\n1,2\n", "line 2"},
      {"0,1,2\nheader,again,here\n", "line 2"},
      {"0,1,2\n2,1,2\n1,1,2\n", "line 3: time goes backwards"},
      {"a,b,c\nd,e,f\n", "line 2"},
  };
  for (const auto& c : cases) {
    const auto read = bench::parseReplay(c.text);
    ASSERT_FALSE(read) << c.text;
    const std::string& error = read.failure().reason;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.text << " -> " << error;
  }
}

TEST(Replay, InterpolatesFromTheFirstRowAndHoldsTheEnds) {
  bench::Motion replay;
  replay.kind = bench::Motion::Kind::Replay;
  replay.replay = {{100.0, 0.0, 10.0}, {101.0, 10.0, 0.0}, {101.0, -5.0, 0.0}, {103.0, -5.0, 4.0}};
  EXPECT_EQ(bench::replaySpan(replay), 3.0);
  const struct {
    double seconds, pitch, roll;
  } expected[] = {{0.0, 0.0, 10.0}, {0.25, 2.5, 7.5}, {1.0, -5.0, 0.0},
                  {2.0, -5.0, 2.0}, {3.0, -5.0, 4.0}, {9.0, -5.0, 4.0}};
  for (const auto& e : expected) {
    const bench::Angles angles = bench::anglesAt(replay, e.seconds);
    EXPECT_NEAR(angles.pitch, e.pitch, 1e-12) << e.seconds;
    EXPECT_NEAR(angles.roll, e.roll, 1e-12) << e.seconds;
  }
  // Far from zero a time stamp plus a second is the same time stamp; offsets from the first
  // row are not.
  replay.replay = {{1e16, 0.0, 0.0}, {1e16 + 4.0, 8.0, 0.0}};
  EXPECT_NEAR(bench::anglesAt(replay, 1.0).pitch, 2.0, 1e-12);
}

// Targets and positions the receivers command, in mm and 0.01 mm, for the planner's angles.
struct KnownStrokes {
  double pitch, roll;
  double left, right, third;
  int leftPosition, rightPosition;
};

void PrintTo(const KnownStrokes& k, std::ostream* out) { *out << k.pitch << ' ' << k.roll; }

class StrokeCalculator : public testing::TestWithParam<KnownStrokes> {};

TEST_P(StrokeCalculator, GivesTheReceiversTargetsAndPositions) {
  const KnownStrokes& k = GetParam();
  const bench::StrokeRow row = bench::strokeRow(k.pitch, k.roll, bench::StrokeOptions{});
  EXPECT_NEAR(row.left, k.left, 0.0005);
  EXPECT_NEAR(row.right, k.right, 0.0005);
  EXPECT_NEAR(row.third, k.third, 0.0005);
  EXPECT_EQ(row.leftPosition, k.leftPosition);
  EXPECT_EQ(row.rightPosition, k.rightPosition);
}

std::string attitudeName(const testing::TestParamInfo<KnownStrokes>& info) {
  const auto degrees = [](double angle) {
    return (angle < 0 ? "minus" : "") + std::to_string(static_cast<int>(std::fabs(angle)));
  };
  return "Pitch" + degrees(info.param.pitch) + "Roll" + degrees(info.param.roll);
}

INSTANTIATE_TEST_SUITE_P(
    KnownAttitudes, StrokeCalculator,
    testing::Values(KnownStrokes{0, 0, 150.0, 150.0, 150.0, -15000, -15000},
                    KnownStrokes{10, 0, 217.862, 217.862, 93.057, -21786, -21786},
                    KnownStrokes{0, 10, 221.322, 98.414, 150.0, -22132, -9841},
                    KnownStrokes{20, -20, 219.190, 300.0, 43.903, -21918, -30000},
                    // beyond the gate the pitch terms drop out: only roll moves left and right
                    KnownStrokes{30, 10, 221.322, 98.414, 150.0, -22132, -9841}),
    attitudeName);

TEST(StrokeCalculator, SentAnglesGoThroughTheReceiversReversal) {
  bench::StrokeOptions sent;
  sent.asSent = true;
  sent.reversal = 1;
  // A datagram "10,0" reaches the planner as pitch -10: the front actuators shorten.
  const bench::StrokeRow reversed = bench::strokeRow(10, 0, sent);
  EXPECT_EQ(reversed.pitch, -10.0f);
  EXPECT_NEAR(reversed.left, 93.057, 0.0005);
  EXPECT_NEAR(reversed.third, 217.862, 0.0005);
  sent.reversal = 0;
  const bench::StrokeRow plain = bench::strokeRow(10, 0, sent);
  EXPECT_EQ(plain.pitch, 10.0f);
  EXPECT_NEAR(plain.left, 217.862, 0.0005);
}

TEST(StrokeCalculator, ADatagramTheReceiversReaderRefusesMovesNothing) {
  bench::StrokeOptions sent;
  sent.asSent = true;
  // Below single precision: the reader drops the datagram rather than read 0.
  const bench::StrokeRow row = bench::strokeRow(1e-50, 10, sent);
  EXPECT_EQ(row.datagram, "1e-50,10");
  EXPECT_EQ(row.dropped, "stof argument out of range");
  const std::string single = bench::formatStrokes({row}, sent);
  EXPECT_NE(single.find("Datagram \"1e-50,10\" -> a receiver moves nothing for it: stof "
                        "argument out of range\n"),
            std::string::npos)
      << single;
  EXPECT_EQ(single.find("L_BrenikReceiver"), std::string::npos) << single;

  // In a table only the refused row says so; the others still go through the reversal.
  auto table = strokes({"--sent", "--roll-range", "-10:1e39:1e39", "--csv"});
  ASSERT_EQ(asked(table), "run");
  const std::vector<bench::StrokeRow> rows = bench::strokeRows(table->options);
  const std::string csv = bench::formatStrokes(rows, table->options);
  EXPECT_NE(csv.find(",moves_nothing_because\n0,-10,0.000,10.000,221.322,98.414,150.000,-22132,"
                     "-9841,\n0,1e+39,,,,,,,,stof argument out of range\n"),
            std::string::npos)
      << csv;
  table->options.csv = false;
  const std::string text = bench::formatStrokes(rows, table->options);
  EXPECT_NE(text.find("1e+39  a receiver moves nothing for it: stof argument out of range\n"),
            std::string::npos)
      << text;
}

TEST(StrokeArguments, RangesMakeATableOverEveryPair) {
  const auto command = strokes({"--pitch-range", "-20:20:10", "--roll-range=0:1:0.5", "--csv"});
  ASSERT_EQ(asked(command), "run");
  const std::vector<bench::StrokeRow> rows = bench::strokeRows(command->options);
  ASSERT_EQ(rows.size(), 15u);
  EXPECT_EQ(rows.front().pitch, -20.0f);
  EXPECT_EQ(rows[1].roll, 0.5f);
  EXPECT_EQ(rows.back().pitch, 20.0f);
  EXPECT_EQ(rows.back().roll, 1.0f);
  const std::string text = bench::formatStrokes(rows, command->options);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "pitch,roll,left_mm,right_mm,third_mm,left_position,right_position");
  EXPECT_NE(text.find("\n10.000,0.000,217.862,217.862,93.057,-21786,-21786\n"), std::string::npos);
}

TEST(StrokeArguments, ARangeCountsItsEndDespiteBinaryFractions) {
  const auto command = strokes({"--roll-range", "0:0.3:0.1"});
  ASSERT_EQ(asked(command), "run");
  EXPECT_EQ(bench::strokeRows(command->options).size(), 4u);
  // The largest table allowed: 1000 x 100 rows.
  EXPECT_EQ(asked(strokes({"--pitch-range", "0:999:1", "--roll-range", "0:99:1"})), "run");
}

TEST(StrokeArguments, NegativeAnglesArePlainArguments) {
  const auto command = strokes({"-10", "-5", "--reversal", "0"});
  ASSERT_EQ(asked(command), "run");
  EXPECT_EQ(command->options.pitch.from, -10.0);
  EXPECT_EQ(command->options.roll.from, -5.0);
  EXPECT_TRUE(command->options.asSent);
  EXPECT_EQ(command->options.reversal, 0);
}

TEST(StrokeArguments, RefusesWhatItCannotCompute) {
  const struct {
    std::vector<std::string> arguments;
    const char* mentions;
  } cases[] = {
      {{}, "expected PITCH and ROLL"},
      {{"10"}, "expected PITCH and ROLL"},
      {{"10", "0", "5"}, "expected PITCH and ROLL"},
      {{"ten", "0"}, "PITCH 'ten'"},
      {{"10", "nan"}, "ROLL 'nan'"},
      {{"--reversal", "2", "1", "1"}, "--reversal '2'"},
      {{"--pitch-range", "5:1:1"}, "--pitch-range"},
      {{"--pitch-range", "0:10:0"}, "--pitch-range"},
      {{"--roll-range", "0:10"}, "--roll-range"},
      {{"--pitch-range", "0:1000000:0.001"}, "--pitch-range"},
      // each axis is small, their product is not
      {{"--pitch-range", "0:1000:0.04", "--roll-range", "0:1000:0.04"}, "25001 pitch x 25001 roll"},
      {{"--pitch-range", "0:1000:1", "--roll-range", "0:99:1"}, "1001 pitch x 100 roll"},
      {{"--roll-range", "0:1e39:1e38"}, "beyond single precision"},
      {{"--pitch-range", "0:10:1", "3", "4"}, "not both"},
      {{"--yaw", "3", "1", "1"}, "unknown option --yaw"},
  };
  for (const auto& c : cases) {
    const std::string said = asked(strokes(c.arguments));
    EXPECT_EQ(said.rfind("refused: ", 0), 0u) << c.mentions << " -> " << said;
    EXPECT_NE(said.find(c.mentions), std::string::npos) << said;
  }
}

// The relay's forms, built as its options build them.
bench::RelayForm relayForm(const std::vector<std::string>& arguments) {
  const auto command = relay(arguments);
  EXPECT_EQ(asked(command), "run");
  return command ? command->options.form : bench::RelayForm{};
}

// What the relay sends the receivers for a datagram, or why it forwards nothing.
std::string relayed(const std::string& datagram, const bench::RelayForm& form) {
  const auto angles = bench::readRelayDatagram(datagram, form);
  if (angles) return bench::relayMessage(*angles);
  return angles.failure().outOfRange ? "out of range" : "unreadable";
}

TEST(RelayConversion, TurnsEachFormIntoTheReceiversMessageOrRefusesIt) {
  const testsupport::CommaDecimalLocale locale;  // the message keeps its point
  ASSERT_TRUE(locale.set()) << "no locale " << testsupport::kCommaDecimalLocale;
  const bench::RelayForm bits8 = relayForm({"--bits", "8"});
  const bench::RelayForm bits16 = relayForm({"--bits", "16"});
  // 0..200 is -10..0 degrees, 200..1000 is 0..+10: a step of 0.05 below the centre, 0.0125 above.
  const bench::RelayForm offCentre =
      relayForm({"--range", "0:1000", "--centre", "200", "--full-scale", "10", "--separator", ";"});
  const bench::RelayForm framed =
      relayForm({"--bits", "8", "--order", "roll,pitch", "--prefix", "A", "--suffix", "Z\\r\\n"});
  const bench::RelayForm points = relayForm({"--degrees"});
  const bench::RelayForm commas = relayForm({"--degrees", "--decimal", "comma"});
  const bench::RelayForm commasSpaced =
      relayForm({"--degrees", "--decimal", "comma", "--separator", " "});
  const std::string longest = "0,0" + std::string(bench::kMaxRelayDatagram - 3, ' ');
  const struct {
    const bench::RelayForm& form;
    std::string datagram;
    const char* sent;
  } cases[] = {
      {bits8, "127,128", "-0.078,0.078"},  // 20 * 0.5 / 127.5 either side of the middle
      {bits8, "0,255", "-20.000,20.000"},
      {bits8, " 255 , 0 \r\n", "20.000,-20.000"},
      {bits8, "256,0", "out of range"},
      {bits8, "0,-1", "out of range"},
      {bits8, "99999999999999999999,0", "out of range"},
      {bits8, "300,abc", "unreadable"},
      {bits8, "127.5,128", "unreadable"},
      {bits8, "127;128", "unreadable"},
      {bits8, "127,128,129", "unreadable"},
      {bits8, "127,", "unreadable"},
      {bits8, "", "unreadable"},
      {bits16, "49151,16384", "10.000,-10.000"},  // 16383.5 of 32767.5 either side
      {bits16, "65535,0", "20.000,-20.000"},
      {bits16, "65536,0", "out of range"},
      {offCentre, "100;600", "-5.000,5.000"},
      {offCentre, "0;1000", "-10.000,10.000"},
      {offCentre, "200;150", "0.000,-2.500"},
      {offCentre, "1001;0", "out of range"},
      {framed, "A255,0Z", "-20.000,20.000"},
      {framed, "A64,255Z\n", "20.000,-9.961"},  // roll -20 * 63.5 / 127.5
      {framed, "255,0Z", "unreadable"},
      {framed, "A255,0", "unreadable"},
      {framed, "A255,0ZZ", "unreadable"},
      {framed, "AZ", "unreadable"},
      {points, "5.25,-1.5", "5.250,-1.500"},
      {points, "-0.0004,+2", "0.000,2.000"},
      {points, ".5,5.", "0.500,5.000"},
      {points, "5,25,1,5", "unreadable"},
      {points, "1e5,0", "unreadable"},
      {points, "nan,0", "unreadable"},
      {points, "1.2.3,0", "unreadable"},
      {points, std::string(23, '0') + "5,0", "5.000,0.000"},
      {points, std::string(24, '0') + "5,0", "unreadable"},
      {points, longest, "0.000,0.000"},
      {points, longest + " ", "unreadable"},
      {commas, "5,25;-1,5", "5.250,-1.500"},
      {commas, "5,25,1,5", "unreadable"},  // two readings: never guessed
      {commas, "5.25;1", "unreadable"},
      {commas, "5,2,5;1", "unreadable"},
      {commasSpaced, "5,25  -1,5", "5.250,-1.500"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(relayed(c.datagram, c.form), c.sent) << "'" << c.datagram << "'";
  }
}

TEST(RelayArguments, DefaultsAndRefusals) {
  const auto command = relay({"--degrees", "--decimal=comma"});
  ASSERT_EQ(asked(command), "run");
  EXPECT_EQ(command->options.form.separator, ";");
  EXPECT_EQ(command->options.listenPort, 33333);
  ASSERT_EQ(command->options.targets.size(), 2u);
  EXPECT_EQ(command->options.targets[0].port, 11111);
  EXPECT_EQ(command->options.targets[1].port, 22222);
  EXPECT_EQ(relayForm({"--range", "-100:101"}).centre, 0.5);
  const struct {
    std::vector<std::string> arguments;
    const char* mentions;
  } cases[] = {
      {{}, "no input form"},
      {{"--bits", "8", "--degrees"}, "two input forms"},
      {{"--bits", "33"}, "--bits '33'"},
      {{"--range", "5:5"}, "MIN below MAX"},
      {{"--range", "0:4294967296"}, "--range"},
      {{"--bits", "8", "--centre", "255"}, "strictly between 0 and 255"},
      {{"--bits", "8", "--full-scale", "0"}, "--full-scale '0'"},
      {{"--degrees", "--centre", "1"}, "--centre belongs to --bits or --range"},
      {{"--bits", "8", "--decimal", "comma"}, "--decimal belongs to --degrees"},
      {{"--degrees", "--decimal", "comma", "--separator", ","}, "reads two ways"},
      {{"--degrees", "--separator", "."}, "the numbers hold points"},
      {{"--bits", "8", "--separator", "1"}, "a digit"},
      {{"--bits", "8", "--separator", ""}, "expected some text"},
      {{"--bits", "8", "--prefix", "\\x"}, "a backslash"},
      {{"--bits", "8", "--suffix", std::string(65, 'z')}, "at most 64"},
  };
  for (const auto& c : cases) {
    const std::string said = asked(relay(c.arguments));
    EXPECT_EQ(said.rfind("refused: ", 0), 0u) << c.mentions << " -> " << said;
    EXPECT_NE(said.find(c.mentions), std::string::npos) << said;
  }
}

// Only a failure in a window of its own waits for Enter; a prompt, a script, a scheduled task,
// a stop or a message that asked already never do.
TEST(ConsoleWindow, WaitsForEnterOnlyAfterAFailureInAWindowOfItsOwn) {
  constexpr int kNotReady = 1;  // a receiver's status whose own message asked for Enter
  const struct {
    const char* name;
    int status;
    unsigned consoleProcesses;
    bool stopRequested;
    bool waits;
  } cases[] = {
      {"failure, double-clicked", 2, 1, false, true},
      {"other failure, double-clicked", 3, 1, false, true},
      {"success, double-clicked", 0, 1, false, false},
      {"failure at a prompt", 2, 2, false, false},
      {"failure at a prompt with a tool", 2, 3, false, false},
      {"failure with no console", 2, 0, false, false},
      {"failure after a stop", 130, 1, true, false},
      {"failure that asked already", kNotReady, 1, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::waitsForEnterBeforeClosing(c.status, kNotReady, c.consoleProcesses,
                                                   c.stopRequested),
              c.waits)
        << c.name;
  }
  EXPECT_TRUE(platform::waitsForEnterBeforeClosing(kNotReady, 0, 1, false)) << "a tool's failure 1";
}

}  // namespace
