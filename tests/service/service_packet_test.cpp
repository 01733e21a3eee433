#include "service/service_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "service/client_requests.h"

namespace corvel {
namespace {

std::vector<std::uint8_t> Wire(ServicePacket packet, std::size_t capacity = 1024) {
  std::vector<std::uint8_t> buffer(capacity);
  buffer.resize(packet.Serialize(buffer.data(), buffer.size()));
  return buffer;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values)
    bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}

TEST(ServicePacket, EmptyPacketIs36Bytes) {
  ServicePacket packet;
  packet.cmdId = 0x01020304;
  packet.seqId = 5;
  packet.sender = 0xA1B2C3D4;
  packet.receiver = 7;
  packet.status = 0xFFFFFFFF;
  std::vector<std::uint8_t> expected =
      Bytes({0xFF, 0xEE, 0x00, 0x24, 1, 2, 3, 4, 0,    0,    0,    5,
             0xA1, 0xB2, 0xC3, 0xD4, 0, 0, 0, 7, 0xFF, 0xFF, 0xFF, 0xFF});
  expected.resize(36, 0);
  EXPECT_EQ(Wire(packet), expected);
}

TEST(ServicePacket, KeepAliveOfASevenCharacterAccountIs86Bytes) {
  const std::vector<std::uint8_t> wire = Wire(KeepAliveRequest("8613800", false));
  ASSERT_EQ(wire.size(), 86u);
  EXPECT_EQ(wire[2], 0);
  EXPECT_EQ(wire[3], 86);
  EXPECT_EQ(wire[7], 1);  // CMD_KEEPALIVE
  const std::string body(wire.begin() + 24, wire.begin() + 74);
  EXPECT_EQ(body, "8613800" + std::string(43, ' '));
  EXPECT_EQ(std::vector<std::uint8_t>(wire.begin() + 74, wire.end()),
            std::vector<std::uint8_t>(12, 0));
}

TEST(ServicePacket, SetBodyRules) {
  ServicePacket packet;
  EXPECT_EQ(packet.SetBody("abc", 3), 39u);
  EXPECT_EQ(packet.body[3], 0);
  EXPECT_EQ(packet.SetBody("zero-terminated", -1), 36u + 15u);
  EXPECT_EQ(packet.SetBody(nullptr, 5), 36u);
  EXPECT_EQ(packet.SetBody("x", 0), 36u);
  const std::string big(1500, 'b');
  EXPECT_EQ(packet.SetBody(big.data(), 1500), 1036u);
  EXPECT_EQ(packet.body[1000], 0);
  EXPECT_EQ(packet.bodyLength(), 1000u);
}

TEST(ServicePacket, SerializeCutsToCapacity) {
  ServicePacket packet;
  const std::string big(1000, 'b');
  packet.SetBody(big.data(), 1000);
  EXPECT_EQ(Wire(packet, 1024).size(), 1024u);
  std::uint8_t tiny[35];
  EXPECT_EQ(packet.Serialize(tiny, sizeof tiny), 0u);
  ServicePacket again;
  again.SetBody(big.data(), 1000);
  std::vector<std::uint8_t> buffer(1024);
  again.Serialize(buffer.data(), buffer.size());
  EXPECT_EQ(again.length, 1024u);
  EXPECT_EQ(again.bodyLength(), 988u);
}

TEST(ServicePacket, ParseRoundTrip) {
  ServicePacket packet = LoginRequest("user", "secret");
  packet.sender = 77;
  packet.seqId = 3;
  const auto wire = Wire(packet);
  ServicePacket parsed;
  ASSERT_EQ(parsed.Parse(wire.data(), wire.size()), 65);
  EXPECT_EQ(parsed.cmdId, 2u);
  EXPECT_EQ(parsed.sender, 77u);
  EXPECT_EQ(parsed.seqId, 3u);
  EXPECT_EQ(parsed.length, 101u);
  EXPECT_EQ(parsed.bodyBytes(), packet.bodyBytes());
  EXPECT_EQ(parsed.body[65], 0);
}

TEST(ServicePacket, ParseRejects) {
  auto wire = Wire(KeepAliveRequest("a", false));
  ServicePacket parsed;
  EXPECT_EQ(parsed.Parse(wire.data(), 35), -1);               // too short
  EXPECT_EQ(parsed.Parse(wire.data(), wire.size() - 1), -1);  // fewer bytes than announced
  auto noMarker = wire;
  noMarker[1] = 0xEF;
  EXPECT_EQ(parsed.Parse(noMarker.data(), noMarker.size()), -1);
  auto shortLength = wire;
  shortLength[3] = 30;
  EXPECT_EQ(parsed.Parse(shortLength.data(), shortLength.size()), -1);
}

TEST(ServicePacket, ParseKeepsOnlyTheLow16BitsOfTheFirstWord) {
  auto wire = Wire(KeepAliveRequest("a", false));
  ServicePacket parsed;
  EXPECT_EQ(parsed.Parse(wire.data(), wire.size()), 50);
  EXPECT_EQ(parsed.length, 86u);
}

TEST(ServicePacket, BodyTextIsConvertedFromGbk) {
  ServicePacket packet;
  packet.SetBody("\xC9\xCF\xBA\xA3\xCA\xD0", 6);  // 上海市 in GBK
  EXPECT_EQ(packet.bodyText(), "上海市");
}

}  // namespace
}  // namespace corvel
