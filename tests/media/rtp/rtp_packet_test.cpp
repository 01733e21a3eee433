#include "media/rtp/rtp_packet.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

std::optional<RtpPacket> ParseBytes(const Bytes& bytes) {
  return RtpPacket::Parse(bytes.data(), static_cast<int>(bytes.size()));
}

Bytes Built(const RtpPacket& packet, int expectResult = 0) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(4096);
  EXPECT_TRUE(buffer);
  EXPECT_EQ(RtpPacket::Build(packet, *buffer), expectResult);
  return Bytes(buffer->data(), buffer->data() + buffer->length());
}

Bytes Payload(const RtpPacket& packet) {
  return Bytes(packet.payload.begin(), packet.payload.begin() + packet.payloadLength);
}

// 12-byte header: V=2, no flags, PT 0, sequence 1, timestamp 2, SSRC 3.
Bytes Header(uint8_t first = 0x80) {
  return {first, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03};
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(RtpPacketParse, ShorterThanTheFixedHeaderIsDropped) {
  const Bytes header = Header();
  for (int length = 0; length < 12; ++length) {
    EXPECT_FALSE(RtpPacket::Parse(header.data(), length)) << length << " bytes";
  }
  EXPECT_FALSE(RtpPacket::Parse(nullptr, 12));
}

TEST(RtpPacketParse, ReadsTheFixedHeader) {
  const Bytes wire = {0x80 | 0x02, 0x80 | 18, 0xFF, 0xFE, 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03,
                      0x04,        0x00,      0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x0B, 'h',  'i'};
  const std::optional<RtpPacket> packet = ParseBytes(wire);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->version, 2);
  EXPECT_EQ(packet->padding, 0);
  EXPECT_EQ(packet->extension, 0);
  EXPECT_EQ(packet->csrcCount, 2);
  EXPECT_EQ(packet->marker, 1);
  EXPECT_EQ(packet->payloadType, 18);
  EXPECT_EQ(packet->sequence, 0xFFFE);
  EXPECT_EQ(packet->timestamp, 0xDEADBEEFu);
  EXPECT_EQ(packet->ssrc, 0x01020304u);
  EXPECT_EQ(packet->csrc[0], 0x0Au);
  EXPECT_EQ(packet->csrc[1], 0x0Bu);
  EXPECT_EQ(Payload(*packet), (Bytes{'h', 'i'}));
  ASSERT_EQ(packet->payload.size(), 4u);  // two zero bytes follow the payload
  EXPECT_EQ(packet->payload[2], 0);
  EXPECT_EQ(packet->payload[3], 0);
}

TEST(RtpPacketParse, Layouts) {
  struct Case {
    const char* name;
    Bytes wire;
    bool valid;
    Bytes payload;
  };
  const Case cases[] = {
      {"bare header", Header(), true, {}},
      {"version 0", Concat(Header(0x00), {7}), true, {7}},
      {"version 1", Concat(Header(0x40), {7}), true, {7}},
      {"version 3", Concat(Header(0xC0), {7}), true, {7}},
      {"CC 3 in 20 bytes", Concat(Header(0x83), Bytes(8, 0)), false, {}},
      {"CC 3 in 24 bytes", Concat(Header(0x83), Bytes(12, 0)), true, {}},
      {"CC 15 and payload", Concat(Header(0x8F), Concat(Bytes(60, 0), {9})), true, {9}},
      {"extension L 0", Concat(Header(0x90), {0xBE, 0xDE, 0, 0, 5, 6}), true, {5, 6}},
      {"extension L 1", Concat(Header(0x90), {0xBE, 0xDE, 0, 1, 1, 2, 3, 4, 5}), true, {5}},
      {"extension words missing", Concat(Header(0x90), {0xBE, 0xDE, 0, 2, 1, 2, 3, 4}), false, {}},
      {"extension header cut", Concat(Header(0x90), {0xBE, 0xDE, 0}), false, {}},
      {"padding 3", Concat(Header(0xA0), {1, 2, 3, 4, 5, 0, 0, 3}), true, {1, 2, 3, 4, 5}},
      {"padding equal to payload", Concat(Header(0xA0), {1, 2, 3}), true, {}},
      {"padding beyond payload", Concat(Header(0xA0), {1, 2, 200}), true, {}},
      {"padding bit on bare header", Header(0xA0), true, {}},
      {"padding zero", Concat(Header(0xA0), {1, 0}), true, {1, 0}},
      {"extension and padding",
       Concat(Header(0xB0), {0x10, 0x00, 0, 1, 9, 9, 9, 9, 'a', 'b', 0, 2}),
       true,
       {'a', 'b'}},
  };
  for (const Case& c : cases) {
    const std::optional<RtpPacket> packet = ParseBytes(c.wire);
    ASSERT_EQ(packet.has_value(), c.valid) << c.name;
    if (!packet) continue;
    EXPECT_EQ(Payload(*packet), c.payload) << c.name;
    EXPECT_EQ(packet->payloadLength, static_cast<int>(c.payload.size())) << c.name;
  }
}

TEST(RtpPacketParse, KeepsTheExtensionProfileBytesAsTheyStand) {
  const std::optional<RtpPacket> packet =
      ParseBytes(Concat(Header(0x90), {0xBE, 0xDE, 0, 1, 1, 2, 3, 4}));
  ASSERT_TRUE(packet && packet->headerExtension);
  EXPECT_EQ(packet->headerExtension->profile[0], 0xBE);
  EXPECT_EQ(packet->headerExtension->profile[1], 0xDE);
  EXPECT_EQ(packet->headerExtension->length, 1);
  EXPECT_EQ(packet->headerExtension->data, (Bytes{1, 2, 3, 4}));
}

TEST(RtpPacketBuild, WritesTheRfc3550Layout) {
  RtpPacket packet;
  packet.marker = 1;
  packet.payloadType = 18;
  packet.sequence = 0x1234;
  packet.timestamp = 0xDEADBEEF;
  packet.ssrc = 0x01020304;
  packet.csrcCount = 2;
  packet.csrc[0] = 0xA1A2A3A4;
  packet.csrc[1] = 0xB1B2B3B4;
  ASSERT_EQ(packet.SetPayload(Bytes{7, 8, 9}.data(), 3), 0);
  const Bytes expected = {0x82, 0x92, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04,
                          0xA1, 0xA2, 0xA3, 0xA4, 0xB1, 0xB2, 0xB3, 0xB4, 7,    8,    9};
  EXPECT_EQ(Built(packet), expected);
}

TEST(RtpPacketBuild, ANewRecordIsVersionTwoWithEverythingElseZero) {
  EXPECT_EQ(Built(RtpPacket{}), (Bytes{0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(RtpPacketBuild, CsrcCountMustFitItsFourBits) {
  RtpPacket packet;
  packet.csrcCount = 15;
  EXPECT_EQ(Built(packet).size(), 12u + 60u);
  packet.csrcCount = 16;
  EXPECT_TRUE(Built(packet, -1).empty());
  packet.csrcCount = 200;
  EXPECT_TRUE(Built(packet, -1).empty());
}

TEST(RtpPacketBuild, PaddingRoundsUpToFourBytesWithTheCountLast) {
  struct Case {
    int payload;
    int padding;
  };
  for (const Case& c : {Case{0, 4}, Case{1, 3}, Case{2, 2}, Case{3, 1}, Case{160, 4}}) {
    RtpPacket packet;
    packet.padding = 1;
    const Bytes payload(static_cast<std::size_t>(c.payload), 0x11);
    ASSERT_EQ(packet.SetPayload(payload.data(), c.payload), 0);
    const Bytes wire = Built(packet);
    ASSERT_EQ(wire.size(), static_cast<std::size_t>(12 + c.payload + c.padding)) << c.payload;
    EXPECT_EQ(wire[0] & 0x20, 0x20);
    EXPECT_EQ(wire.back(), c.padding);
    for (int i = 0; i < c.padding - 1; ++i) {
      EXPECT_EQ(wire[wire.size() - 2 - static_cast<std::size_t>(i)], 0);
    }
  }
}

TEST(RtpPacketBuild, ExtensionIsWrittenOnlyWithItsBitAndItsRecord) {
  RtpHeaderExtension extension;
  extension.profile = {0xBE, 0xDE};
  extension.length = 1;
  extension.data = {1, 2, 3, 4};
  struct Case {
    const char* name;
    uint8_t bit;
    bool record;
    Bytes wire;
  };
  const Case cases[] = {
      {"bit and record", 1, true, Concat(Header(0x90), {0xBE, 0xDE, 0, 1, 1, 2, 3, 4})},
      {"record without bit", 0, true, Header()},
      {"bit without record", 1, false, Header()},
  };
  for (const Case& c : cases) {
    RtpPacket packet;
    packet.sequence = 1;
    packet.timestamp = 2;
    packet.ssrc = 3;
    packet.extension = c.bit;
    if (c.record) packet.headerExtension = extension;
    EXPECT_EQ(Built(packet), c.wire) << c.name;
  }
}

TEST(RtpPacketBuild, ExtensionWithZeroWordsTakesFourBytes) {
  RtpPacket packet;
  packet.extension = 1;
  packet.headerExtension = RtpHeaderExtension{{0x10, 0x00}, 0, {}};
  EXPECT_EQ(Built(packet).size(), 16u);
}

TEST(RtpPacketBuild, RefusesRecordsWhoseBlocksAreShorterThanStated) {
  RtpPacket packet;
  packet.extension = 1;
  packet.headerExtension = RtpHeaderExtension{{0, 0}, 2, Bytes(4, 0)};
  EXPECT_TRUE(Built(packet, -1).empty());

  RtpPacket shortPayload;
  shortPayload.payloadLength = 10;
  EXPECT_TRUE(Built(shortPayload, -1).empty());
}

TEST(RtpPacketBuild, AppendsToWhatTheBufferHolds) {
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(4);
  ASSERT_TRUE(buffer);
  ASSERT_EQ(buffer->Append(Bytes{0xEE}.data(), 1), 0);
  ASSERT_EQ(RtpPacket::Build(RtpPacket{}, *buffer), 0);
  EXPECT_EQ(buffer->length(), 13);
  EXPECT_EQ(buffer->data()[0], 0xEE);
  EXPECT_EQ(buffer->data()[1], 0x80);
}

TEST(RtpPacket, BuildThenParseGivesTheRecordBack) {
  std::vector<RtpPacket> records(5);
  records[1].marker = 1;
  records[1].payloadType = 101;
  records[1].sequence = 65535;
  records[1].timestamp = 0xFFFFFFFF;
  records[1].ssrc = 0x80000001;
  records[1].SetPayload(Bytes{1, 2, 3, 4}.data(), 4);
  records[2].padding = 1;
  records[2].SetPayload(Bytes(161, 0x7E).data(), 161);
  records[3].extension = 1;
  records[3].headerExtension = RtpHeaderExtension{{0xAB, 0xCD}, 2, Bytes{1, 2, 3, 4, 5, 6, 7, 8}};
  records[3].csrcCount = 3;
  records[3].csrc = {11, 22, 33};
  records[3].SetPayload(Bytes{'G', 'e', 't', 'N', 'A', 'T'}.data(), 6);
  records[4].version = 1;
  records[4].padding = 1;
  records[4].extension = 1;
  records[4].headerExtension = RtpHeaderExtension{{0, 0}, 0, {}};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const Bytes wire = Built(records[i]);
    const std::optional<RtpPacket> parsed = ParseBytes(wire);
    ASSERT_TRUE(parsed) << "record " << i;
    EXPECT_EQ(*parsed, records[i]) << "record " << i;
  }
}

TEST(RtpPacket, SetPayloadKeepsTwoZeroBytesAfterTheCopy) {
  RtpPacket packet;
  ASSERT_EQ(packet.SetPayload(reinterpret_cast<const uint8_t*>("Detect"), 6), 0);
  EXPECT_EQ(packet.payloadLength, 6);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(packet.payloadData())), "Detect");
  EXPECT_EQ(packet.SetPayload(nullptr, 3), -1);
  EXPECT_EQ(packet.SetPayload(packet.payloadData(), -1), -1);
  EXPECT_EQ(packet.payloadLength, 6);
  EXPECT_EQ(packet.SetPayload(nullptr, 0), 0);
  EXPECT_EQ(packet.payloadLength, 0);
  EXPECT_EQ(packet.payloadData(), nullptr);
}

}  // namespace
}  // namespace corvel
