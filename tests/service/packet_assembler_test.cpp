#include "service/packet_assembler.h"

#include <gtest/gtest.h>

#include <vector>

#include "service/client_requests.h"

namespace corvel {
namespace {

std::vector<std::uint8_t> Wire(ServicePacket packet) {
  std::vector<std::uint8_t> bytes(1024);
  bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
  return bytes;
}

std::vector<std::uint8_t> Join(std::vector<std::uint8_t> a, const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class AssemblerTest : public ::testing::Test {
 protected:
  void Feed(const std::vector<std::uint8_t>& datagram) {
    assembler.HandleDatagram(datagram.data(), datagram.size(), kSender);
  }
  std::vector<std::uint32_t> Commands() const {
    std::vector<std::uint32_t> commands;
    for (const auto& packet : delivered)
      commands.push_back(packet.cmdId);
    return commands;
  }

  static constexpr Endpoint kSender{0x7F000001, 3905};
  static constexpr Endpoint kLocal{0x0A000001, 6000};
  std::vector<ServicePacket> delivered;
  PacketAssembler assembler{kLocal, [this](const ServicePacket& p) { delivered.push_back(p); }};
  const std::vector<std::uint8_t> login = Wire(LoginRequest("account", "pw"));  // 101 bytes
  const std::vector<std::uint8_t> logoff = Wire(LogOffRequest("account"));      // 86 bytes
};

TEST_F(AssemblerTest, OnePacketCarriesBothAddresses) {
  Feed(login);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].remoteAddress, kSender);
  EXPECT_EQ(delivered[0].localAddress, kLocal);
  EXPECT_EQ(delivered[0].bodyLength(), 65u);
}

TEST_F(AssemblerTest, TwoPacketsInOneDatagramArriveInOrder) {
  Feed(Join(login, logoff));
  EXPECT_EQ(Commands(), (std::vector<std::uint32_t>{2, 3}));
}

TEST_F(AssemblerTest, PacketSplitOverTwoDatagrams) {
  Feed(std::vector<std::uint8_t>(login.begin(), login.begin() + 40));
  EXPECT_TRUE(delivered.empty());
  EXPECT_EQ(assembler.pendingMissing(), 61u);
  Feed(std::vector<std::uint8_t>(login.begin() + 40, login.end()));
  ASSERT_EQ(Commands(), (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(delivered[0].bodyBytes().substr(0, 7), "account");
  EXPECT_EQ(assembler.pendingMissing(), 0u);
}

TEST_F(AssemblerTest, RestFollowedByAnotherPacketInTheSameDatagram) {
  Feed(std::vector<std::uint8_t>(login.begin(), login.begin() + 40));
  Feed(Join(std::vector<std::uint8_t>(login.begin() + 40, login.end()), logoff));
  EXPECT_EQ(Commands(), (std::vector<std::uint32_t>{2, 3}));
}

TEST_F(AssemblerTest, NewPacketBeforeTheRestDropsThePendingOne) {
  Feed(std::vector<std::uint8_t>(login.begin(), login.begin() + 40));
  Feed(logoff);
  EXPECT_EQ(Commands(), (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(assembler.pendingMissing(), 0u);
}

TEST_F(AssemblerTest, MarkerInsideAPendingRestDropsBoth) {
  // The rest holds the marker bytes at a place that is not its end: pending is dropped, and the
  // stream from the marker is read as a packet of its own.
  ServicePacket odd = LoginRequest("account", "pw");
  odd.body[30] = 0xFF;
  odd.body[31] = 0xEE;
  const auto bytes = Wire(odd);
  Feed(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 40));
  Feed(std::vector<std::uint8_t>(bytes.begin() + 40, bytes.end()));
  EXPECT_TRUE(delivered.empty());
  EXPECT_EQ(assembler.pendingMissing(), 0u);
}

TEST_F(AssemblerTest, DatagramOfTheWrongSizeWithoutMarkerIsDroppedAndPendingStays) {
  Feed(std::vector<std::uint8_t>(login.begin(), login.begin() + 40));
  Feed(std::vector<std::uint8_t>(10, 'x'));
  EXPECT_TRUE(delivered.empty());
  EXPECT_EQ(assembler.pendingMissing(), 61u);
  Feed(std::vector<std::uint8_t>(login.begin() + 40, login.end()));
  EXPECT_EQ(Commands(), (std::vector<std::uint32_t>{2}));
}

TEST_F(AssemblerTest, BadLengthsYieldNothing) {
  for (int length : {30, 0, 35, 1025, 0xFFFF}) {
    auto bytes = login;
    bytes[2] = static_cast<std::uint8_t>(length >> 8);
    bytes[3] = static_cast<std::uint8_t>(length);
    Feed(bytes);
    EXPECT_TRUE(delivered.empty()) << length;
    EXPECT_EQ(assembler.pendingMissing(), 0u) << length;
  }
  Feed({0xFF, 0xEE, 0x00});
  EXPECT_TRUE(delivered.empty());
}

TEST_F(AssemblerTest, StreamWithoutMarkerBecomesAnEmptyCommandZero) {
  auto bytes = logoff;
  bytes[0] = 0;
  bytes[1] = 0;
  Feed(bytes);
  ASSERT_EQ(Commands(), (std::vector<std::uint32_t>{0}));
  EXPECT_EQ(delivered[0].bodyLength(), 0u);
}

}  // namespace
}  // namespace corvel
