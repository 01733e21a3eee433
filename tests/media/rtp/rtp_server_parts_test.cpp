// The pieces of the RTP server on their own: NAT reply texts, the codec table's choice, the
// telephone-event packets.
#include <gtest/gtest.h>

#include "media/rtp/rtp_server_codec.h"
#include "media/rtp/rtp_server_dtmf.h"
#include "media/rtp/rtp_server_nat.h"
#include "rtp_server_fixture.h"

namespace corvel {
namespace {

TEST(NatReply, TheBracketedAddressAndPortAreTaken) {
  struct Case {
    const char* text;
    std::optional<NatAddress> expected;
  };
  const Case cases[] = {
      {"[203.0.113.7:40000]", NatAddress{"203.0.113.7", 40000}},
      {"[1.2.3.4:5]", NatAddress{"1.2.3.4", 5}},
      {"junk[10.0.0.1:1234]more", NatAddress{"10.0.0.1", 1234}},
      {"[10.0.0.1:1234x]", NatAddress{"10.0.0.1", 1234}},  // digits up to the first non-digit
      {"[10.0.0.1:1234", NatAddress{"10.0.0.1", 1234}},    // the closing bracket is not needed
      {"[10.0.0.1:65535]", NatAddress{"10.0.0.1", 65535}},
      {"203.0.113.7 40000", std::nullopt},    // neither "[" nor ":"
      {"[203.0.113.7 40000]", std::nullopt},  // no ":"
      {"203.0.113.7:40000]", std::nullopt},   // no "["
      {"", std::nullopt},
      {":[10.0.0.1]", std::nullopt},  // the ":" must follow the "["
      // Not an address and port the SDP offer could carry.
      {"[10.0.0.1:0]", std::nullopt},
      {"[10.0.0.1:]", std::nullopt},
      {"[10.0.0.1:65536]", std::nullopt},
      {"[host.example:5000]", std::nullopt},
      {"[10.0.0.1\r\na=x:5000]", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseNatReply(c.text), c.expected) << c.text;
  }
}

TEST(CodecTable, AudioIsChosenInTheOrderAmrG729PcmaPcmu) {
  CodecTable table = testing::ShippedCodecTable();
  EXPECT_EQ(table.AudioCodecFor(0), CodecSlot::kPcmu);
  EXPECT_EQ(table.AudioCodecFor(8), CodecSlot::kPcma);
  EXPECT_EQ(table.AudioCodecFor(18), CodecSlot::kG729);
  EXPECT_EQ(table.AudioCodecFor(98), CodecSlot::kAmr) << "enabled or not";
  EXPECT_EQ(table.AudioCodecFor(101), std::nullopt) << "telephone-events are not audio";
  EXPECT_EQ(table.AudioCodecFor(120), std::nullopt);

  table.set(CodecSlot::kPcma, true, 0);  // PCMA and PCMU both on 0
  EXPECT_EQ(table.AudioCodecFor(0), CodecSlot::kPcma);
  table.set(CodecSlot::kAmr, true, 0);
  EXPECT_EQ(table.AudioCodecFor(0), CodecSlot::kAmr);

  const CodecTable fresh;  // as the server starts: every entry off, payload type 0
  EXPECT_FALSE(fresh.isEnabled(CodecSlot::kPcmu));
  EXPECT_EQ(fresh.AudioCodecFor(0), CodecSlot::kAmr);
}

TEST(TelephoneEvent, FivePacketsMarkTheStartAndEndOfTheKey) {
  const std::array<TelephoneEventPacket, 5> packets = TelephoneEventPackets(11);
  struct Expected {
    uint8_t flags;
    int duration;
    bool marker;
    uint32_t step;
    bool repeat;
  };
  const Expected expected[5] = {{0x0A, 0, true, 0, false},
                                {0x0A, 160, true, 0, false},
                                {0x0A, 320, true, 160, false},
                                {0x8A, 480, false, 0, false},
                                {0x8A, 480, false, 160, true}};
  for (int i = 0; i < 5; ++i) {
    const TelephoneEventPacket& packet = packets[static_cast<std::size_t>(i)];
    const Expected& e = expected[i];
    EXPECT_EQ(packet.payload[0], 11) << i;
    EXPECT_EQ(packet.payload[1], e.flags) << i;
    EXPECT_EQ(packet.payload[2] << 8 | packet.payload[3], e.duration) << i;
    EXPECT_EQ(packet.marker, e.marker) << i;
    EXPECT_EQ(packet.timestampStep, e.step) << i;
    EXPECT_EQ(packet.repeat, e.repeat) << i;
  }
}

TEST(AtomicEndpoint, AddressAndPortTravelTogether) {
  AtomicEndpoint endpoint;
  EXPECT_FALSE(endpoint.load().set());
  endpoint.store(Ipv4Endpoint{0xC0A80001, 65535});
  EXPECT_EQ(endpoint.load(), (Ipv4Endpoint{0xC0A80001, 65535}));
  endpoint.store(Ipv4Endpoint{0xFFFFFFFF, 1});
  EXPECT_EQ(endpoint.load(), (Ipv4Endpoint{0xFFFFFFFF, 1}));
}

}  // namespace
}  // namespace corvel
