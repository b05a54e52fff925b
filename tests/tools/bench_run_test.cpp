// The demo's pieces end to end, shortened: both receivers on the stand-in controller driven by
// brenik-send, stopped with SIGINT, summarised and plotted by tools/bench-run.sh.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "motion/planner.h"
#include "net/angle_message.h"
#include "support/expected_commands.h"
#include "support/ports_lock.h"
#include "support/text_file.h"
#include "support/trace.h"

namespace {

using testsupport::lines;
using testsupport::readFile;

const std::string kOut = "bench_run_out";

// Positions from the trace's move_abs lines, in order.
std::vector<int> commandedPositions(const std::string& trace) {
  std::vector<int> positions;
  for (const testsupport::TraceLine& line : testsupport::readTrace(trace)) {
    if (line.operation == "move_abs" && line.arguments.size() == 2) {
      positions.push_back(std::stoi(line.arguments[1]));
    }
  }
  return positions;
}

class BenchRun : public testing::Test {
 protected:
  // One shortened run for all the checks below.
  static void SetUpTestSuite() {
    // The run binds the receivers' fixed ports; no other test on this machine may meanwhile.
    const testsupport::ReceiverPortsLock portsLock;
    const std::string command = std::string("bash \"") + BRENIK_SOURCE_DIR +
                                "/tools/bench-run.sh\" \"" + BRENIK_TOOL_DIR + "\" " + kOut +
                                " --sine-pitch 15,1 --sine-roll 10,0.5 --duration 1 > " + kOut +
                                ".txt 2>&1";
    status_ = std::system(command.c_str());
    summary_ = readFile(kOut + ".txt");
    sent_ = lines(readFile(kOut + "/sent.csv"));
  }

  // What the receiver on `side` commands for each logged datagram, through its own reader
  // (default reversal) and planner.
  static std::vector<int> expectedPositions(motion::Side side) {
    std::vector<std::string> texts;
    for (std::size_t i = 1; i < sent_.size(); ++i) texts.push_back(sent_[i].substr(sent_[i].find(',') + 1));
    std::vector<int> positions;
    for (const std::string& call : testsupport::expectedCommands(side, texts, {20000, 33}, 1)) {
      if (call.rfind("move_abs 0 ", 0) == 0) positions.push_back(std::stoi(call.substr(11)));
    }
    return positions;
  }

  static int status_;
  static std::string summary_;
  static std::vector<std::string> sent_;
};

int BenchRun::status_ = -1;
std::string BenchRun::summary_;
std::vector<std::string> BenchRun::sent_;

TEST_F(BenchRun, BothReceiversStopCleanlyAndTheSummaryCountsWhatHappened) {
  ASSERT_EQ(status_, 0) << summary_;
  ASSERT_EQ(sent_.size(), 101u);  // header and one second at 100 Hz
  EXPECT_NE(summary_.find("Datagrams sent to each receiver: 100\n"), std::string::npos)
      << summary_;
  for (const char* side : {"left", "right"}) {
    const std::string trace = kOut + "/" + side + "-trace.txt";
    const std::vector<std::string> calls = lines(readFile(trace));
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(calls.back().find(" close_axcl"), std::string::npos) << side;
    const std::string counted = std::string(side) + (side[0] == 'l' ? "  " : " ") +
                                "receiver: " + std::to_string(commandedPositions(trace).size()) +
                                " commands, position ";
    EXPECT_NE(summary_.find(counted), std::string::npos) << counted << "\n" << summary_;
  }
}

// Datagrams between two binds of a receiver's socket are lost by design; what was commanded
// must still be, in order, what the sent angles call for.
TEST_F(BenchRun, EachReceiverCommandsThePositionsOfTheAnglesSent) {
  for (const motion::Side side : {motion::Side::Left, motion::Side::Right}) {
    const std::string trace =
        kOut + (side == motion::Side::Left ? "/left-trace.txt" : "/right-trace.txt");
    const std::vector<int> commanded = commandedPositions(trace);
    const std::vector<int> expected = expectedPositions(side);
    ASSERT_EQ(expected.size(), 100u);
    EXPECT_GE(commanded.size(), 90u);
    EXPECT_LE(commanded.size(), expected.size());
    std::size_t next = 0;
    for (const int position : commanded) {
      while (next < expected.size() && expected[next] != position) ++next;
      ASSERT_LT(next, expected.size()) << "position " << position << " was never called for";
      ++next;
    }
  }
}

TEST_F(BenchRun, DrawsThePlotAsAPng) {
  if (std::system("command -v gnuplot > /dev/null") != 0) GTEST_SKIP() << "gnuplot not installed";
  const std::string png = readFile(kOut + "/run.png");
  ASSERT_GT(png.size(), 8u);
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  EXPECT_NE(summary_.find("Plot: "), std::string::npos);
}

TEST(BenchScripts, HelpAndRefusals) {
  const std::string tools = std::string(BRENIK_SOURCE_DIR) + "/tools/";
  for (const char* script : {"bench-run.sh", "plot-run.sh"}) {
    const std::string run = "bash \"" + tools + script + "\"";
    EXPECT_EQ(std::system((run + " --help | grep -q '^Usage: '").c_str()), 0) << script;
    EXPECT_NE(std::system((run + " 2> /dev/null").c_str()), 0) << script;
  }
}

}  // namespace
