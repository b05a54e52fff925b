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
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    const net::StopCheck stop = [deadline] { return std::chrono::steady_clock::now() > deadline; };
    return receiver.receiveNonEmpty(stop, [](const std::string&) {});
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

TEST_F(Receiver, ReceiveTextBindsForOneTextOnly) {
  std::optional<std::string> got;
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
  EXPECT_EQ(got, "5,6");
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
  EXPECT_EQ(receiver.receiveNonEmpty(stop, collect), "7,8");
  EXPECT_TRUE(reports.empty()) << reports.front();  // a wait given up is no fault
  late.join();
}

TEST_F(Receiver, StopEndsTheWaitWithoutAText) {
  net::DatagramReceiver receiver(port_);
  const auto start = std::chrono::steady_clock::now();
  const net::StopCheck stop = [start] { return std::chrono::steady_clock::now() - start > 200ms; };
  EXPECT_FALSE(receiver.receiveNonEmpty(stop, [](const std::string&) {}).has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
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
  EXPECT_FALSE(result.has_value());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find(std::to_string(port_)), std::string::npos) << reports[0];
  platform::closeSocket(holder);
}

}  // namespace
