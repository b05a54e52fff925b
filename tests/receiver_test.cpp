// The run's UDP receiver over real loopback datagrams.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/datagram_receiver.h"
#include "platform/clock.h"
#include "platform/sockets.h"
#include "tools/udp_sending.h"

namespace {

using namespace std::chrono_literals;

// A port nobody holds right now, found by letting the system choose one.
std::uint16_t freePort() {
  platform::startSockets();
  const auto probe = platform::openBoundUdpSocket(0);
  if (!probe) return 0;
  const platform::Result<std::uint16_t> port = bench::boundPort(*probe);
  platform::closeSocket(*probe);
  platform::stopSockets();
  return port ? *port : 0;
}

// Texts that hold what the caller acts on, for these tests: a comma and no letter.
bool commaNoLetter(const std::string& text) {
  return text.find(',') != std::string::npos &&
         std::none_of(text.begin(), text.end(), [](char c) { return std::isalpha(static_cast<unsigned char>(c)); });
}

const net::Say kIgnore = [](const std::string&) {};

class Receiver : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto started = platform::startSockets();
    ASSERT_FALSE(started) << started->reason;
    port_ = freePort();
    ASSERT_NE(port_, 0);
    const auto sender = bench::openUdpSocket();
    ASSERT_TRUE(sender) << sender.failure().reason;
    sender_ = *sender;
    const auto to = bench::resolveIpv4("127.0.0.1", port_);
    ASSERT_TRUE(to) << to.failure().reason;
    to_ = *to;
  }
  void TearDown() override {
    platform::closeSocket(sender_);
    platform::stopSockets();
  }

  void send(const std::string& payload) {
    const auto failure = bench::sendDatagram(sender_, to_, payload.data(), payload.size());
    ASSERT_FALSE(failure) << failure->reason;
  }

  void bind(net::DatagramReceiver& receiver) {
    ASSERT_EQ(receiver.bindWhenFree([] { return false; }, kIgnore), net::PortWait::Bound);
  }

  // Receives with a deadline, so a lost datagram fails the test instead of hanging it.
  net::Received receiveWithin(net::DatagramReceiver& receiver, double seconds = 5.0) {
    return receiver.receiveText([] { return false; }, kIgnore, commaNoLetter,
                                platform::monotonicSeconds() + seconds);
  }
  std::optional<std::string> receive(net::DatagramReceiver& receiver) {
    const net::Received received = receiveWithin(receiver);
    if (received.outcome != net::Received::Outcome::Text) return std::nullopt;
    return received.text;
  }

  std::uint16_t port_ = 0;
  platform::SocketHandle sender_ = platform::kInvalidSocket;
  bench::UdpEndpoint to_{};
};

// One socket for every text: each case is sent to the receiver bound once.
TEST_F(Receiver, TextRulesOfOneDatagram) {
  struct Case {
    std::string sent;
    std::string expected;
  };
  const std::string large(2000, 'x');
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  for (const Case& c : {Case{"1.5,-20", "1.5,-20"},                         // seven bytes
                        Case{large, large.substr(0, net::kReceiveSize)},   // cut to 1024
                        Case{std::string("abcde\0fgh", 9), "abcde"},       // up to the zero byte
                        Case{std::string(1024, 'y'), std::string(1024, 'y')}}) {
    send(c.sent);
    EXPECT_EQ(receive(receiver), c.expected);
  }
}

TEST_F(Receiver, SkipsDatagramsThatGiveAnEmptyText) {
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  send(std::string("\0" "10,10", 6));  // leading zero byte
  send("");                            // empty datagram
  send("3,4");
  EXPECT_EQ(receive(receiver), "3,4");
}

// The source's last word counts: of the datagrams queued when the receive returns, the newest
// readable text, else the newest non-empty one; however many were queued.
TEST_F(Receiver, TakesTheNewestReadableTextQueued) {
  struct Case {
    std::vector<std::string> sent;
    std::string expected;
    bool readable;
  };
  const std::string leadingZero("\0" "3,3", 4);
  std::vector<std::string> many;  // more than one receive call takes
  for (int i = 0; i < 3 * static_cast<int>(net::kQueuedAtOnce); ++i) {
    many.push_back(std::to_string(i) + ",0");
  }
  std::vector<std::string> emptiesAfter = many;  // the last call takes empty ones only
  emptiesAfter.insert(emptiesAfter.end(), 2 * net::kQueuedAtOnce, "");
  std::vector<std::string> unreadableAfter = many;  // a good text, then a call of junk only
  unreadableAfter.insert(unreadableAfter.end(), 2 * net::kQueuedAtOnce, "junk");
  std::vector<std::string> hundreds;  // far beyond any fixed count of calls
  for (int i = 0; i < 300; ++i) hundreds.push_back(std::to_string(i) + ",1");
  for (const Case& c : {Case{{"10,0", "0,0"}, "0,0", true},
                        Case{{"0,0", "abc"}, "0,0", true},
                        Case{{"0,0", "5;0", "x,1"}, "0,0", true},
                        Case{{"abc", "def"}, "def", false},
                        Case{{"1,1", "2,2", "", leadingZero}, "2,2", true},
                        Case{{"", "4,4", "5,5", "\0x", ""}, "5,5", true},
                        Case{many, many.back(), true},
                        Case{emptiesAfter, many.back(), true},
                        Case{unreadableAfter, many.back(), true},
                        Case{hundreds, hundreds.back(), true}}) {
    net::DatagramReceiver receiver(port_);
    bind(receiver);
    // All of them queued while the receiver is busy elsewhere, as during a controller call.
    for (const std::string& payload : c.sent) send(payload);
    const net::Received got = receiveWithin(receiver);
    EXPECT_EQ(got.text, c.expected) << c.sent.size() << " sent";
    EXPECT_EQ(got.readable, c.readable) << c.sent.size() << " sent";
    EXPECT_EQ(got.outcome, net::Received::Outcome::Text);
    // Nothing is left behind for the next turn.
    EXPECT_EQ(receiveWithin(receiver, 0.05).outcome, net::Received::Outcome::Silence);
  }
}

TEST_F(Receiver, HoldsItsPortFromTheBindUntilItGoes) {
  {
    net::DatagramReceiver receiver(port_);
    bind(receiver);
    const auto other = platform::openBoundUdpSocket(port_);
    EXPECT_FALSE(other) << "another program took the port mid-run";
    if (other) platform::closeSocket(*other);
    EXPECT_TRUE(!other && other.failure().taken) << (other ? "" : other.failure().reason);
  }
  const auto again = platform::openBoundUdpSocket(port_);
  EXPECT_TRUE(again) << again.failure().reason;
  if (again) platform::closeSocket(*again);
}

TEST_F(Receiver, ADatagramAfterWaitsThatTimedOutIsStillTaken) {
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  // Later than two of the receiver's 100 ms waits: each is given up and the next one started.
  std::thread late([this] {
    std::this_thread::sleep_for(250ms);
    send("7,8");
  });
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  const net::StopCheck stop = [deadline] { return std::chrono::steady_clock::now() > deadline; };
  std::vector<std::string> reports;
  const net::Say collect = [&](const std::string& line) { reports.push_back(line); };
  EXPECT_EQ(receiver.receiveText(stop, collect, commaNoLetter).text, "7,8");
  EXPECT_TRUE(reports.empty()) << reports.front();  // a wait given up is no fault
  late.join();
}

TEST_F(Receiver, StopEndsTheWaitWithoutAText) {
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  const auto start = std::chrono::steady_clock::now();
  const net::StopCheck stop = [start] { return std::chrono::steady_clock::now() - start > 200ms; };
  EXPECT_EQ(receiver.receiveText(stop, kIgnore, commaNoLetter).outcome,
            net::Received::Outcome::Stopped);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

// The wait for the coming silence rule: a silence about when the deadline passes, not at the end
// of a whole 100 ms wait; a text that comes first wins.
TEST_F(Receiver, DeadlineEndsTheWaitWithASilenceUnlessATextComesFirst) {
  const auto giveUp = std::chrono::steady_clock::now() + 5s;  // a wait the deadline misses
  const net::StopCheck backstop = [giveUp] { return std::chrono::steady_clock::now() > giveUp; };
  constexpr double kShortSeconds = 0.01;
  constexpr double kLateSeconds = 0.08;  // before the end of a 100 ms wait
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  const double start = platform::monotonicSeconds();
  const net::Received got = receiver.receiveText(backstop, kIgnore, commaNoLetter,
                                                 start + kShortSeconds);
  const double took = platform::monotonicSeconds() - start;
  EXPECT_EQ(got.outcome, net::Received::Outcome::Silence);
  EXPECT_GE(took, kShortSeconds);
  EXPECT_LT(took, kLateSeconds);
  // Queued by the deadline: taken, though the deadline has passed.
  send("9,9");
  EXPECT_EQ(receiver.receiveText(backstop, kIgnore, commaNoLetter, start).text, "9,9");

  std::thread soon([this] {
    std::this_thread::sleep_for(150ms);
    send("7,7");
  });
  // Past one 100 ms wait.
  const net::Received later = receiveWithin(receiver);
  soon.join();
  EXPECT_EQ(later.outcome, net::Received::Outcome::Text);
  EXPECT_EQ(later.text, "7,7");
}

// A port held by another program is said once, tried again about once a second, and said free
// once it is bound.
TEST_F(Receiver, TakenPortIsReportedOnceAndBoundOnceFree) {
  const auto held = platform::openBoundUdpSocket(port_);
  ASSERT_TRUE(held) << held.failure().reason;
  const platform::SocketHandle holder = *held;
  std::vector<std::string> reports;
  const net::Say collect = [&](const std::string& line) { reports.push_back(line); };
  net::DatagramReceiver receiver(port_);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.bindWhenFree(
                [start] { return std::chrono::steady_clock::now() - start > 2500ms; }, collect),
            net::PortWait::Stopped);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("UDP port " + std::to_string(port_) + " is taken by another program"),
            std::string::npos) << reports[0];

  std::thread release([&] {
    std::this_thread::sleep_for(300ms);
    platform::closeSocket(holder);
  });
  const auto again = std::chrono::steady_clock::now();
  EXPECT_EQ(receiver.bindWhenFree(
                [again] { return std::chrono::steady_clock::now() - again > 5s; }, collect),
            net::PortWait::Bound);
  release.join();
  EXPECT_EQ(reports, (std::vector<std::string>{reports[0], reports[0],
                                               "UDP port " + std::to_string(port_) + " is free now"}));
  send("1,2");
  EXPECT_EQ(receive(receiver), "1,2");
}

}  // namespace

namespace {

// A stream that comes faster than its texts are taken (here each check takes 2 ms, the stream
// 1 ms a datagram) still gives a text at least every few milliseconds, not once it stops.
TEST_F(Receiver, AFasterStreamThanItsTakingStillGivesTextsInTime) {
  net::DatagramReceiver receiver(port_);
  bind(receiver);
  std::atomic<bool> streaming{true};
  std::thread source([&] {
    for (int i = 0; streaming && i < 3000; ++i) {
      send(std::to_string(i % 20) + ",1");
      std::this_thread::sleep_for(1ms);
    }
  });
  const net::Readable slowCheck = [](const std::string& text) {
    std::this_thread::sleep_for(2ms);
    return commaNoLetter(text);
  };
  std::this_thread::sleep_for(50ms);  // a backlog first
  double slowest = 0.0;
  for (int turn = 0; turn < 10; ++turn) {
    const double start = platform::monotonicSeconds();
    const net::Received got = receiver.receiveText([] { return false; }, kIgnore, slowCheck,
                                                   start + 5.0);
    slowest = std::max(slowest, platform::monotonicSeconds() - start);
    EXPECT_EQ(got.outcome, net::Received::Outcome::Text);
  }
  streaming = false;
  source.join();
  EXPECT_LT(slowest, 0.2) << "a turn went on taking the stream";
}

}  // namespace
