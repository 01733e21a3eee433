// What the receive thread makes of datagrams as they arrive from the network.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "loopback.h"
#include "media/rtp/rtp_session.h"

namespace corvel {
namespace {

using testing::LoopbackSession;
using testing::Peer;
using Bytes = std::vector<uint8_t>;

// V=2, PT 0, sequence `sequence`, timestamp 0, SSRC 0x0A0B0C0D, then `rest`.
Bytes Datagram(uint8_t first, uint8_t sequence, const Bytes& rest) {
  Bytes bytes(12 + rest.size());
  const uint8_t header[12] = {first, 0, 0, sequence, 0, 0, 0, 0, 0x0A, 0x0B, 0x0C, 0x0D};
  std::copy(header, header + 12, bytes.begin());
  std::copy(rest.begin(), rest.end(), bytes.begin() + 12);
  return bytes;
}

TEST(RtpSessionWire, MalformedDatagramsAreDroppedAndTheRestQueuedInOrder) {
  auto session = LoopbackSession(true);
  Peer peer;
  ASSERT_TRUE(session && peer.ok());
  struct Case {
    const char* name;
    Bytes datagram;
    bool queued;
    int payloadLength;
  };
  const Case cases[] = {
      {"11 bytes", Bytes{0x80, 0, 0, 1, 0, 0, 0, 0, 0x0A, 0x0B, 0x0C}, false, 0},
      {"1 byte", Bytes{0x80}, false, 0},
      {"12 bytes", Datagram(0x80, 2, {}), true, 0},
      {"CC 3 in 20 bytes", Datagram(0x83, 3, Bytes(8, 0)), false, 0},
      {"padding beyond payload", Datagram(0xA0, 4, {1, 2, 3, 9}), true, 0},
      {"version 1", Datagram(0x40, 5, {1, 2}), true, 2},
      {"extension cut short", Datagram(0x90, 6, {0, 0, 0, 4, 1, 2}), false, 0},
      {"extension L 0", Datagram(0x90, 7, {0, 0, 0, 0, 1, 2, 3}), true, 3},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(peer.Send(c.datagram, session->rtpPort()), static_cast<int>(c.datagram.size()))
        << c.name;
  }
  for (const Case& c : cases) {
    if (!c.queued) continue;
    std::optional<RtpPacket> packet = session->Receive(2000);
    ASSERT_TRUE(packet) << c.name;
    EXPECT_EQ(packet->sequence, c.datagram[3]) << c.name;
    EXPECT_EQ(packet->payloadLength, c.payloadLength) << c.name;
    EXPECT_EQ(packet->ssrc, 0x0A0B0C0Du) << c.name;
    EXPECT_EQ(packet->peerAddress, testing::kLoopback) << c.name;
    EXPECT_EQ(packet->peerPort, peer.port()) << c.name;
  }
  EXPECT_FALSE(session->Receive(100));
}

TEST(RtpSessionWire, WhatReachesTheRtcpPortIsDiscarded) {
  auto session = LoopbackSession(true);
  Peer peer;
  ASSERT_TRUE(session && peer.ok());
  ASSERT_NE(session->rtcpPort(), 0);
  for (int i = 0; i < 20; ++i) {
    ASSERT_GT(peer.Send(Datagram(0x80, static_cast<uint8_t>(i), {1}), session->rtcpPort()), 0);
  }
  ASSERT_GT(peer.Send(Datagram(0x80, 99, {1}), session->rtpPort()), 0);
  std::optional<RtpPacket> packet = session->Receive(2000);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->sequence, 99);
  EXPECT_FALSE(session->Receive(100));
}

}  // namespace
}  // namespace corvel
