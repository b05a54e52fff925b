// The per-text UDP receiver over real loopback datagrams.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/datagram_receiver.h"
#include "platform/platform.h"

namespace {

using namespace std::chrono_literals;

// A port nobody holds right now, found by letting the system choose one.
std::uint16_t freePort() {
  std::string error;
  platform::startSockets(error);
  const platform::SocketHandle probe = platform::openBoundUdpSocket(0, error);
  const std::uint16_t port = platform::boundPort(probe);
  platform::closeSocket(probe);
  platform::stopSockets();
  return port;
}

class Receiver : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(platform::startSockets(error)) << error;
    port_ = freePort();
    ASSERT_NE(port_, 0);
    sender_ = platform::openUdpSocket(error);
    ASSERT_NE(sender_, platform::kInvalidSocket) << error;
    ASSERT_TRUE(platform::resolveIpv4("127.0.0.1", port_, to_, error)) << error;
  }
  void TearDown() override {
    platform::closeSocket(sender_);
    platform::stopSockets();
  }

  void send(const std::string& payload) {
    std::string error;
    ASSERT_TRUE(platform::sendDatagram(sender_, to_, payload.data(), payload.size(), error)) << error;
  }

  // Receives with a deadline, so a lost datagram fails the test instead of hanging it.
  std::optional<std::string> receive(net::DatagramReceiver& receiver) {
    const net::Received received = receiver.receiveNonEmpty(
        [] { return false; }, [](const std::string&) {}, platform::monotonicSeconds() + 5.0);
    if (received.outcome != net::Received::Outcome::Text) return std::nullopt;
    return received.text;
  }

  std::uint16_t port_ = 0;
  platform::SocketHandle sender_ = platform::kInvalidSocket;
  platform::UdpEndpoint to_{};
};

TEST_F(Receiver, TextRulesOfOneDatagram) {
  struct Case {
    std::string sent;
    std::string expected;
  };
  const std::string large(2000, 'x');
  for (const Case& c : {Case{"1.5,-20", "1.5,-20"},                         // seven bytes
                        Case{large, large.substr(0, net::kReceiveSize)},   // cut to 1024
                        Case{std::string("abcde\0fgh", 9), "abcde"},       // up to the zero byte
                        Case{std::string(1024, 'y'), std::string(1024, 'y')}}) {
    net::DatagramReceiver receiver(port_);
    ASSERT_TRUE(receiver.bound()) << receiver.failure();
    send(c.sent);
    EXPECT_EQ(receive(receiver), c.expected);
  }
}

TEST_F(Receiver, SkipsDatagramsThatGiveAnEmptyText) {
  net::DatagramReceiver receiver(port_);
  ASSERT_TRUE(receiver.bound()) << receiver.failure();
  send(std::string("\0" "10,10", 6));  // leading zero byte
  send("");                            // empty datagram
  send("3,4");
  EXPECT_EQ(receive(receiver), "3,4");
}

// The source's last word counts: of the datagrams queued when the receive returns, the newest
// one whose text is not empty.
TEST_F(Receiver, TakesTheNewestNonEmptyTextQueued) {
  struct Case {
    std::vector<std::string> sent;
    std::string expected;
  };
  const std::string leadingZero("\0" "3,3", 4);
  std::vector<std::string> many;  // more than one receive call takes
  for (int i = 0; i < 3 * static_cast<int>(net::kQueuedAtOnce); ++i) {
    many.push_back(std::to_string(i) + ",0");
  }
  std::vector<std::string> emptiesAfter = many;  // the last call takes empty ones only
  emptiesAfter.insert(emptiesAfter.end(), 2 * net::kQueuedAtOnce, "");
  for (const Case& c : {Case{{"10,0", "0,0"}, "0,0"},
                        Case{{"1,1", "2,2", "", leadingZero}, "2,2"},
                        Case{{"", "4,4", "5,5", "\0x", ""}, "5,5"},
                        Case{many, many.back()},
                        Case{emptiesAfter, many.back()}}) {
    net::DatagramReceiver receiver(port_);
    ASSERT_TRUE(receiver.bound()) << receiver.failure();
    for (const std::string& payload : c.sent) send(payload);
    EXPECT_EQ(receive(receiver), c.expected) << c.sent.size() << " sent";
  }
}

TEST_F(Receiver, ReceiveTextBindsForOneTextOnly) {
  net::Received got;
  std::atomic<bool> done{false};
  std::thread waiting([&] {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    got = net::receiveText(port_, [&] { return std::chrono::steady_clock::now() > deadline; },
                           [](const std::string&) {});
    done = true;
  });
  // Datagrams before the bind are lost by design, so keep sending until one arrives.
  for (int i = 0; i < 250 && !done; ++i) {
    send("5,6");
    std::this_thread::sleep_for(20ms);
  }
  waiting.join();
  EXPECT_EQ(got.text, "5,6");
  // The port is free again once the text has been returned.
  std::string error;
  const platform::SocketHandle again = platform::openBoundUdpSocket(port_, error);
  EXPECT_NE(again, platform::kInvalidSocket) << error;
  platform::closeSocket(again);
}

TEST_F(Receiver, ADatagramAfterWaitsThatTimedOutIsStillTaken) {
  net::DatagramReceiver receiver(port_);
  ASSERT_TRUE(receiver.bound()) << receiver.failure();
  // Later than two of the receiver's 100 ms waits: each is given up and the next one started.
  std::thread late([this] {
    std::this_thread::sleep_for(250ms);
    send("7,8");
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  const net::StopCheck stop = [deadline] { return std::chrono::steady_clock::now() > deadline; };
  std::vector<std::string> reports;
  const net::Report collect = [&](const std::string& line) { reports.push_back(line); };
  EXPECT_EQ(receiver.receiveNonEmpty(stop, collect).text, "7,8");
  EXPECT_TRUE(reports.empty()) << reports.front();  // a wait given up is no fault
  late.join();
}

TEST_F(Receiver, StopEndsTheWaitWithoutAText) {
  net::DatagramReceiver receiver(port_);
  const auto start = std::chrono::steady_clock::now();
  const net::StopCheck stop = [start] { return std::chrono::steady_clock::now() - start > 200ms; };
  EXPECT_EQ(receiver.receiveNonEmpty(stop, [](const std::string&) {}).outcome,
            net::Received::Outcome::Stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// The wait for the coming silence rule: a silence about when the deadline passes, not at the end
// of a whole 100 ms wait or of a second's retry; a text that comes first wins.
TEST_F(Receiver, DeadlineEndsTheWaitWithASilenceUnlessATextComesFirst) {
  const auto giveUp = std::chrono::steady_clock::now() + 5s;  // a wait the deadline misses
  const net::StopCheck backstop = [giveUp] { return std::chrono::steady_clock::now() > giveUp; };
  const net::Report ignore = [](const std::string&) {};
  constexpr double kShortSeconds = 0.01;
  constexpr double kLateSeconds = 0.08;       // before the end of a 100 ms wait
  constexpr double kRetryLateSeconds = 0.5;   // well before a second's retry of a taken port
  {
    net::DatagramReceiver receiver(port_);
    ASSERT_TRUE(receiver.bound()) << receiver.failure();
    const double start = platform::monotonicSeconds();
    const net::Received got = receiver.receiveNonEmpty(backstop, ignore, start + kShortSeconds);
    const double took = platform::monotonicSeconds() - start;
    EXPECT_EQ(got.outcome, net::Received::Outcome::Silence);
    EXPECT_GE(took, kShortSeconds);
    EXPECT_LT(took, kLateSeconds);
    // Queued by the deadline: taken, though the deadline has passed.
    send("9,9");
    EXPECT_EQ(receiver.receiveNonEmpty(backstop, ignore, start).text, "9,9");
  }
  {
    std::thread soon([this] {
      std::this_thread::sleep_for(150ms);
      send("7,7");
    });
    // Past one 100 ms wait, and a socket bound anew each time a text is taken.
    const net::Received got =
        net::receiveText(port_, backstop, ignore, platform::monotonicSeconds() + 5.0);
    soon.join();
    EXPECT_EQ(got.outcome, net::Received::Outcome::Text);
    EXPECT_EQ(got.text, "7,7");
  }
  std::string error;
  const platform::SocketHandle holder = platform::openBoundUdpSocket(port_, error);
  ASSERT_NE(holder, platform::kInvalidSocket) << error;
  const double start = platform::monotonicSeconds();
  const net::Received got = net::receiveText(port_, backstop, ignore, start + kShortSeconds);
  const double took = platform::monotonicSeconds() - start;
  platform::closeSocket(holder);
  EXPECT_EQ(got.outcome, net::Received::Outcome::Silence);
  EXPECT_GE(took, kShortSeconds);
  EXPECT_LT(took, kRetryLateSeconds);
}

TEST_F(Receiver, TakenPortIsReportedOnceAndRetriedUntilStopped) {
  std::string error;
  const platform::SocketHandle holder = platform::openBoundUdpSocket(port_, error);
  ASSERT_NE(holder, platform::kInvalidSocket) << error;
  std::vector<std::string> reports;
  const auto start = std::chrono::steady_clock::now();
  const auto result = net::receiveText(
      port_, [start] { return std::chrono::steady_clock::now() - start > 2500ms; },
      [&](const std::string& line) { reports.push_back(line); });
  EXPECT_EQ(result.outcome, net::Received::Outcome::Stopped);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(std::to_string(port_)), std::string::npos) << reports[0];
  platform::closeSocket(holder);
}

}  // namespace
