#include "packet_stream.h"

#include <gtest/gtest.h>

#include <vector>

#include "service/client_requests.h"
#include "service/service_command.h"

namespace corvel::devservice {
namespace {

TEST(PacketStream, SplitsPacketsSentBackToBack) {
  std::vector<std::uint8_t> datagram = PacketBytes(KeepAliveRequest("demo", false));
  const std::vector<std::uint8_t> second = PacketBytes(CallStartRequest("demo", "139"));
  const std::vector<std::uint8_t> third = PacketBytes(LogOffRequest("demo"));
  datagram.insert(datagram.end(), second.begin(), second.end());
  datagram.insert(datagram.end(), third.begin(), third.end());
  const SplitResult result = SplitDatagram(datagram.data(), datagram.size());
  ASSERT_EQ(result.packets.size(), 3u);
  EXPECT_EQ(result.packets[0].cmdId, CMD_KEEPALIVE);
  EXPECT_EQ(result.packets[1].cmdId, CMD_CALL_START);
  EXPECT_EQ(result.packets[2].cmdId, CMD_LOGOFF);
  EXPECT_EQ(result.unusedBytes, 0u);
}

TEST(PacketStream, ReportsBytesThatFormNoPacket) {
  std::vector<std::uint8_t> datagram = PacketBytes(KeepAliveRequest("demo", false));
  datagram.insert(datagram.end(), {0xFF, 0xEE, 0x00, 0x40, 1, 2, 3});
  const SplitResult result = SplitDatagram(datagram.data(), datagram.size());
  ASSERT_EQ(result.packets.size(), 1u);
  EXPECT_EQ(result.unusedBytes, 7u);
  const std::uint8_t junk[] = {1, 2, 3};
  EXPECT_TRUE(SplitDatagram(junk, sizeof junk).packets.empty());
  EXPECT_EQ(SplitDatagram(junk, sizeof junk).unusedBytes, 3u);
}

TEST(PacketStream, PacketBytesCarryHeaderBodyAndTrailer) {
  ServicePacket packet = LogOffRequest("demo");
  packet.seqId = 5;
  const std::vector<std::uint8_t> bytes = PacketBytes(packet);
  ASSERT_EQ(bytes.size(), 24u + 50u + 12u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xEE);
  EXPECT_EQ(bytes[3], 86);
  EXPECT_EQ(bytes[7], CMD_LOGOFF);
  EXPECT_EQ(bytes[11], 5);
  EXPECT_EQ(bytes[24], 'd');
  for (std::size_t i = bytes.size() - 12; i < bytes.size(); ++i)
    EXPECT_EQ(bytes[i], 0) << i;
}

}  // namespace
}  // namespace corvel::devservice
