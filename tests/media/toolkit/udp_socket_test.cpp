#include "media/toolkit/udp_socket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "media/toolkit/unique_fd.h"
#include "stopwatch.h"

namespace corvel {
namespace {

constexpr uint32_t kLoopback = 0x7F000001;

std::unique_ptr<UdpSocket> OpenLoopback() {
  return UdpSocket::Open("127.0.0.1", 0, false);
}

TEST(UdpSocketTest, OpenKeepsHostAndBindsEphemeralPort) {
  const auto socket = OpenLoopback();
  ASSERT_NE(socket, nullptr);
  EXPECT_EQ(socket->hostText(), "127.0.0.1");
  EXPECT_EQ(socket->port(), 0);
  EXPECT_NE(socket->localPort(), 0);

  const auto wildcard = UdpSocket::Open(nullptr, 0, false);
  ASSERT_NE(wildcard, nullptr);
  EXPECT_EQ(wildcard->hostText(), "");
  EXPECT_NE(wildcard->localPort(), 0);
}

TEST(UdpSocketTest, OpenWithAnyAddressIgnoresHostText) {
  const auto socket = UdpSocket::Open("not an address", 0, true);
  ASSERT_NE(socket, nullptr);
  EXPECT_EQ(socket->hostText(), "not an address");
  // Bound on the wildcard address, so loopback traffic reaches it.
  const auto sender = OpenLoopback();
  ASSERT_NE(sender, nullptr);
  ASSERT_EQ(sender->SendTo("x", 1, kLoopback, socket->localPort()), 1);
  EXPECT_TRUE(socket->Receive(2000).has_value());
}

TEST(UdpSocketTest, OpenFailsOnBadOrForeignHostText) {
  const char* const hosts[] = {"garbage", "", "256.0.0.1", "127.1", "127.0.0.1 ", "1.2.3.4"};
  for (const char* host : hosts) {
    EXPECT_EQ(UdpSocket::Open(host, 0, false), nullptr) << '"' << host << '"';
  }
}

TEST(UdpSocketTest, OpenFailsOnPortAlreadyBound) {
  auto first = OpenLoopback();
  ASSERT_NE(first, nullptr);
  const uint16_t port = first->localPort();
  struct OpenCase {
    const char* host;
    bool anyAddress;
  };
  const OpenCase cases[] = {{"127.0.0.1", false}, {nullptr, false}, {"127.0.0.1", true}};
  for (const OpenCase& c : cases) {
    EXPECT_EQ(UdpSocket::Open(c.host, port, c.anyAddress), nullptr)
        << (c.host ? c.host : "null") << " any=" << c.anyAddress;
  }
  // The same port is free again once the first socket is closed.
  first.reset();
  EXPECT_NE(UdpSocket::Open("127.0.0.1", port, false), nullptr);
}

TEST(UdpSocketTest, TextDatagramIsTerminatedAndNamesItsSender) {
  const auto receiver = OpenLoopback();
  const auto sender = OpenLoopback();
  ASSERT_NE(receiver, nullptr);
  ASSERT_NE(sender, nullptr);
  const std::string text = "REGISTER sip:corvel";
  ASSERT_EQ(
      sender->SendTo(text.data(), static_cast<int>(text.size()), kLoopback, receiver->localPort()),
      static_cast<int>(text.size()));

  const std::optional<Datagram> datagram = receiver->Receive(2000);
  ASSERT_TRUE(datagram.has_value());
  EXPECT_EQ(datagram->length, static_cast<int32_t>(text.size()));
  ASSERT_EQ(datagram->data.size(), text.size() + 2);
  EXPECT_EQ(datagram->data[text.size()], 0);
  EXPECT_EQ(datagram->data[text.size() + 1], 0);
  EXPECT_STREQ(datagram->chars(), text.c_str());
  EXPECT_EQ(datagram->senderAddress, kLoopback);
  EXPECT_EQ(datagram->senderText, "127.0.0.1");
  EXPECT_EQ(datagram->senderPort, sender->localPort());
}

TEST(UdpSocketTest, EachReceiveTakesOneWholeDatagram) {
  const auto receiver = OpenLoopback();
  const auto sender = OpenLoopback();
  ASSERT_NE(receiver, nullptr);
  ASSERT_NE(sender, nullptr);
  // Binary payloads with zero bytes inside, of different sizes, must come back apart and intact.
  std::vector<std::vector<uint8_t>> payloads;
  for (const int size : {1400, 7, 1, 300}) {
    std::vector<uint8_t> payload(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) {
      payload[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7);
    }
    payloads.push_back(payload);
  }
  for (const auto& payload : payloads) {
    ASSERT_EQ(sender->SendTo(payload.data(), static_cast<int>(payload.size()), kLoopback,
                             receiver->localPort()),
              static_cast<int>(payload.size()));
  }
  for (const auto& payload : payloads) {
    const std::optional<Datagram> datagram = receiver->Receive(2000);
    ASSERT_TRUE(datagram.has_value());
    ASSERT_EQ(datagram->length, static_cast<int32_t>(payload.size()));
    ASSERT_EQ(datagram->data.size(), payload.size() + 2);
    EXPECT_TRUE(std::equal(payload.begin(), payload.end(), datagram->data.begin()));
  }
}

TEST(UdpSocketTest, SendToSendsNothingOnBadArguments) {
  const auto receiver = OpenLoopback();
  const auto sender = OpenLoopback();
  ASSERT_NE(receiver, nullptr);
  ASSERT_NE(sender, nullptr);
  const char payload[] = "ping";
  const uint16_t port = receiver->localPort();
  struct SendCase {
    const char* name;
    const void* data;
    int length;
    uint32_t address;
    uint16_t port;
  };
  const SendCase cases[] = {
      {"null data", nullptr, 4, kLoopback, port},
      {"zero length", payload, 0, kLoopback, port},
      {"negative length", payload, -1, kLoopback, port},
      {"address 0", payload, 4, 0, port},
      {"port 0", payload, 4, kLoopback, 0},
  };
  for (const SendCase& c : cases) {
    EXPECT_EQ(sender->SendTo(c.data, c.length, c.address, c.port), 0) << c.name;
  }
  // Nothing of the above reached the receiver; a good send afterwards is the first it sees.
  ASSERT_EQ(sender->SendTo("last", 4, kLoopback, port), 4);
  const std::optional<Datagram> datagram = receiver->Receive(2000);
  ASSERT_TRUE(datagram.has_value());
  EXPECT_STREQ(datagram->chars(), "last");
}

TEST(UdpSocketTest, ZeroLengthDatagramGivesNone) {
  const auto receiver = OpenLoopback();
  const auto sender = OpenLoopback();
  ASSERT_NE(receiver, nullptr);
  ASSERT_NE(sender, nullptr);
  // SendTo refuses empty payloads, so send one through the plain socket interface.
  const UniqueFd raw(::socket(AF_INET, SOCK_DGRAM, 0));
  ASSERT_TRUE(raw.valid());
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(kLoopback);
  to.sin_port = htons(receiver->localPort());
  ASSERT_EQ(sendto(raw.get(), "", 0, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);

  const test::Stopwatch watch;
  EXPECT_FALSE(receiver->Receive(2000).has_value());
  EXPECT_LT(watch.elapsedMs(), 1500);  // it was readable: no waiting out the limit
  // The empty datagram was consumed; the next one comes through.
  ASSERT_EQ(sender->SendTo("next", 4, kLoopback, receiver->localPort()), 4);
  const std::optional<Datagram> datagram = receiver->Receive(2000);
  ASSERT_TRUE(datagram.has_value());
  EXPECT_STREQ(datagram->chars(), "next");
}

struct TimeoutCase {
  int timeoutMs;
  int64_t minMs;
  int64_t maxMs;
};

class UdpSocketTimeoutTest : public testing::TestWithParam<TimeoutCase> {};

TEST_P(UdpSocketTimeoutTest, ReceiveWaitsOutItsLimit) {
  const auto socket = OpenLoopback();
  ASSERT_NE(socket, nullptr);
  const test::Stopwatch watch;
  EXPECT_FALSE(socket->Receive(GetParam().timeoutMs).has_value());
  const int64_t elapsed = watch.elapsedMs();
  EXPECT_GE(elapsed, GetParam().minMs);
  EXPECT_LE(elapsed, GetParam().maxMs);
}

// A limit of 0 or less stands for 3 s.
INSTANTIATE_TEST_SUITE_P(Limits, UdpSocketTimeoutTest,
                         testing::Values(TimeoutCase{10, 5, 500}, TimeoutCase{1500, 1400, 3000},
                                         TimeoutCase{0, 2900, 5000}));

TEST(UdpSocketTest, WakeReleasesBlockedReceiveAndStaysSet) {
  const auto socket = OpenLoopback();
  ASSERT_NE(socket, nullptr);
  std::promise<int64_t> blockedFor;
  std::thread receiver([&] {
    const test::Stopwatch watch;
    const bool got = socket->Receive(3000).has_value();
    blockedFor.set_value(got ? -1 : watch.elapsedMs());
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const test::Stopwatch sinceWake;
  socket->Wake();
  auto result = blockedFor.get_future();
  ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const int64_t toReturn = sinceWake.elapsedMs();
  receiver.join();
  EXPECT_GE(result.get(), 0);  // returned none
  EXPECT_LT(toReturn, 1000);   // well before its 3 s limit

  // Sticky: later receives return at once, even with a datagram waiting.
  const auto sender = OpenLoopback();
  ASSERT_NE(sender, nullptr);
  ASSERT_EQ(sender->SendTo("late", 4, kLoopback, socket->localPort()), 4);
  const test::Stopwatch again;
  EXPECT_FALSE(socket->Receive(3000).has_value());
  EXPECT_LT(again.elapsedMs(), 1000);
}

}  // namespace
}  // namespace corvel
