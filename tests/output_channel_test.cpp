// The receiver's output channel against a standard error that takes nothing for a while: a pipe
// whose buffer is full until the test reads it.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/output_channel.h"
#include "platform/platform.h"

namespace {

using namespace std::chrono_literals;

// Standard error put on a pipe whose buffer is full, given back when the test ends.
class BlockedStandardError : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(ends_), 0);
    ::fcntl(ends_[1], F_SETFL, O_NONBLOCK);
    const char filler = '.';
    while (::write(ends_[1], &filler, 1) == 1) ++filled_;
    ::fcntl(ends_[1], F_SETFL, 0);  // from now on a write waits, as for a reader that takes nothing
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(ends_[1], STDERR_FILENO);
  }
  void TearDown() override {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(ends_[1]);
    ::close(ends_[0]);
  }

  // Everything written after the filler, once `expected` bytes came or two seconds passed.
  std::string readAfterFiller(std::size_t expected) {
    std::string text;
    char buffer[4096];
    ::fcntl(ends_[0], F_SETFL, O_NONBLOCK);
    const auto giveUp = std::chrono::steady_clock::now() + 2s;
    while (text.size() < filled_ + expected && std::chrono::steady_clock::now() < giveUp) {
      const ssize_t got = ::read(ends_[0], buffer, sizeof buffer);
      if (got > 0) {
        text.append(buffer, static_cast<std::size_t>(got));
      } else {
        std::this_thread::sleep_for(1ms);
      }
    }
    return text.size() < filled_ ? "" : text.substr(filled_);
  }

  int ends_[2] = {-1, -1};
  int saved_ = -1;
  std::size_t filled_ = 0;
};

TEST_F(BlockedStandardError, NeverWaitsKeepsOrderAndCountsWhatItDropped) {
  app::OutputChannel channel(platform::StandardStream::Error, "P");
  const auto start = std::chrono::steady_clock::now();
  channel.message("m0\n");
  std::this_thread::sleep_for(100ms);  // the writer is now held up in writing m0
  for (int i = 1; i <= 19; ++i) channel.message("m" + std::to_string(i) + "\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 150ms) << "a message waited for the output";
  const double drainStart = platform::monotonicSeconds();
  EXPECT_FALSE(channel.drain(drainStart + 0.05));
  EXPECT_LT(platform::monotonicSeconds() - drainStart, 0.5);

  // Sixteen wait behind m0; the three after them are dropped, and said once output flows.
  std::string expected = "m0\nP: 3 messages were dropped while the output was held up\n";
  for (int i = 1; i <= 16; ++i) expected += "m" + std::to_string(i) + "\n";
  EXPECT_EQ(readAfterFiller(expected.size()), expected);
  EXPECT_TRUE(channel.drain(platform::monotonicSeconds() + 1.0));
}

TEST_F(BlockedStandardError, AReportTakesThePlaceOfOneNotWrittenUnlessThatOneIsKept) {
  app::OutputChannel channel(platform::StandardStream::Error, "P");
  channel.message("m0\n");
  std::this_thread::sleep_for(100ms);
  channel.report("r1\n", /*kept=*/true);  // a change of state
  channel.report("r2\n");
  channel.report("r3\n");
  channel.message("m1\n");
  channel.report("r4\n");
  const std::string expected = "m0\nr1\nm1\nr4\n";
  EXPECT_EQ(readAfterFiller(expected.size()), expected);
}

}  // namespace
