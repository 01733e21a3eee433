// The RTP server against plain UDP peers on 127.0.0.1: its life cycle, the remote address, what
// goes on the wire for each codec, silence suppression, DTMF, the level meter, the end of a call.
#include "media/rtp/rtp_server.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>

#include "app/window_messages.h"
#include "media/audio/player_table.h"
#include "media/audio/wave_player.h"
#include "rtp_server_fixture.h"

namespace corvel {
namespace {

using testing::Bytes;
using testing::kLoopback;
using testing::Peer;
using testing::RtpDatagram;
using testing::ServerUnderTest;

// Threads of this process with the given name.
int ThreadsNamed(const std::string& name) {
  int count = 0;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return -1;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
    std::string comm_name;
    std::getline(comm, comm_name);
    if (comm_name == name) ++count;
  }
  closedir(tasks);
  return count;
}

std::vector<uint8_t> LoudFrame(int bytes = 320) {
  return testing::ToneBytes(bytes, 12000);
}

class RtpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    server().SetCodecTable(testing::ShippedCodecTable());
    ASSERT_TRUE(testing::OpenOnLoopback(server()));
  }
  RtpServer& server() { return under_.server; }
  // Starts a call towards the peer.
  void Call() { ASSERT_TRUE(server().SetRemote("127.0.0.1", peer_.port())); }
  bool Push(const std::vector<uint8_t>& frame) {
    return server().PushCaptured(frame.data(), static_cast<int>(frame.size()));
  }

  ServerUnderTest under_;
  Peer peer_;
};

TEST_F(RtpServerTest, OpenStartsTwoThreadsAndCloseEndsThem) {
  EXPECT_TRUE(server().active());
  const uint16_t port = server().localPort();
  EXPECT_NE(port, 0);
  EXPECT_EQ(server().localHost(), "127.0.0.1");
  EXPECT_TRUE(under_.log.has("Create RTP Server 127.0.0.1:" + std::to_string(port) + " Success\n"));
  EXPECT_EQ(ThreadsNamed("rtp-send"), 1);
  EXPECT_EQ(ThreadsNamed("rtp-recv"), 1);
  EXPECT_TRUE(server().Open("127.0.0.1", 0, false)) << "open already";
  EXPECT_EQ(server().localPort(), port);
  // Both ports of the pair are taken.
  EXPECT_FALSE(UdpSocket::Open("127.0.0.1", port, false));
  EXPECT_FALSE(UdpSocket::Open("127.0.0.1", static_cast<uint16_t>(port + 1), false));

  server().Close();
  EXPECT_FALSE(server().active());
  EXPECT_EQ(ThreadsNamed("rtp-send"), 0);
  EXPECT_EQ(ThreadsNamed("rtp-recv"), 0);
  EXPECT_EQ(server().localHost(), "");
  EXPECT_TRUE(UdpSocket::Open("127.0.0.1", port, false)) << "the port is free again";
  const std::size_t lines = under_.log.lines().size();
  EXPECT_FALSE(server().SetRemote("127.0.0.1", peer_.port()));
  EXPECT_FALSE(server().SendDtmf(1));
  EXPECT_EQ(under_.log.lines().size(), lines) << "nothing is logged while closed";
  EXPECT_TRUE(testing::OpenOnLoopback(server())) << "a closed server opens again";
}

TEST_F(RtpServerTest, SettingsNeedAnOpenServerAndValidAddresses) {
  RtpServer closed(nullptr, nullptr, nullptr);
  EXPECT_FALSE(closed.SetNatServer(120, "127.0.0.1", 10000));
  EXPECT_FALSE(closed.SetSendPayloadType(8));
  EXPECT_FALSE(closed.SetRemote("127.0.0.1", 4000));
  EXPECT_FALSE(closed.PushCaptured(LoudFrame().data(), 320));
  closed.EndRTPSession();
  closed.Close();

  EXPECT_FALSE(server().SetNatServer(120, nullptr, 10000));
  EXPECT_FALSE(server().SetNatServer(120, "nat.example", 10000));
  EXPECT_TRUE(server().SetNatServer(121, "127.0.0.1", 10000));
  EXPECT_EQ(server().natPayloadType(), 121);
  EXPECT_EQ(server().natServer(), (Ipv4Endpoint{kLoopback, 10000}));
  EXPECT_TRUE(server().SetSendPayloadType(8));
  EXPECT_EQ(server().sendPayloadType(), 8);
  EXPECT_FALSE(server().SetRemote(nullptr, 4000));
  EXPECT_FALSE(server().SetRemote("127.0.0.1", 0));
  EXPECT_FALSE(server().SetRemote("127.0.0.1\r\n", 4000));
  EXPECT_TRUE(under_.log.has("RTP audio set remote(127.0.0.1\r\n:4000) failed\n"));
  EXPECT_FALSE(server().sending());
}

TEST_F(RtpServerTest, SetRemoteTwiceLeavesOnlyTheSecondAddress) {
  ASSERT_TRUE(server().SetRemote("127.0.0.1", 4000));
  EXPECT_TRUE(under_.log.has("RTP audio set remote(127.0.0.1:4000)\n"));
  ASSERT_TRUE(server().SetRemote("127.0.0.1", 4002));
  ASSERT_TRUE(server().SetRemote("127.0.0.1", 4002));
  EXPECT_TRUE(under_.log.has("RTP audio remote(127.0.0.1:4002) exist\n"));
  EXPECT_EQ(server().destinations(), (std::vector<RtpDestination>{{0, kLoopback, 4002}}));
  EXPECT_TRUE(server().sending());
  EXPECT_TRUE(server().receiving());
}

TEST_F(RtpServerTest, EachCodecPutsItsPayloadOnTheWire) {
  Call();
  struct Case {
    uint8_t payloadType;
    int payloadBytes;
  };
  const Case cases[] = {{0, 160}, {8, 160}, {18, 20}, {98, 32}};
  uint32_t timestamp = 0;
  uint16_t sequence = 0;
  bool first = true;
  for (const Case& c : cases) {
    ASSERT_TRUE(server().SetSendPayloadType(c.payloadType));
    ASSERT_TRUE(Push(LoudFrame()));
    std::optional<RtpPacket> packet = peer_.Next();
    ASSERT_TRUE(packet) << int{c.payloadType};
    EXPECT_EQ(packet->payloadType, c.payloadType);
    EXPECT_EQ(packet->payloadLength, c.payloadBytes) << int{c.payloadType};
    EXPECT_EQ(packet->marker, 0);
    EXPECT_EQ(packet->ssrc, server().ssrc());
    if (!first) {
      EXPECT_EQ(packet->timestamp, timestamp + 160) << "a step of 160 samples per frame";
      EXPECT_EQ(packet->sequence, static_cast<uint16_t>(sequence + 1));
    }
    first = false;
    timestamp = packet->timestamp;
    sequence = packet->sequence;
  }
  // Not a codec of the table: nothing is sent.
  ASSERT_TRUE(server().SetSendPayloadType(101));
  ASSERT_TRUE(Push(LoudFrame()));
  EXPECT_FALSE(peer_.Next(300));
}

TEST_F(RtpServerTest, DuplicatePayloadTypesGoToTheCodecEarlierInTheOrder) {
  CodecTable table = testing::ShippedCodecTable();
  table.set(CodecSlot::kAmr, false, 0);  // AMR on the PCMU payload type
  server().SetCodecTable(table);
  Call();
  ASSERT_TRUE(server().SetSendPayloadType(0));
  ASSERT_TRUE(Push(LoudFrame()));
  std::optional<RtpPacket> packet = peer_.Next();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->payloadType, 0);
  EXPECT_EQ(packet->payloadLength, 32) << "AMR, not PCMU";
}

TEST_F(RtpServerTest, SilentFramesAreNotSentAndDoNotMoveTheTimestamp) {
  server().SetSilenceValue(20);
  Call();
  ASSERT_TRUE(server().SetSendPayloadType(0));
  const std::vector<uint8_t> silent = testing::ToneBytes(320, 20);  // nothing above 20
  const std::vector<uint8_t> justAudible = testing::ToneBytes(320, 21);
  ASSERT_TRUE(Push(LoudFrame()));
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(Push(silent));
  ASSERT_TRUE(Push(justAudible));
  std::optional<RtpPacket> first = peer_.Next();
  std::optional<RtpPacket> second = peer_.Next();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(second->timestamp, first->timestamp + 160) << "the silent frames took no time";
  EXPECT_EQ(second->sequence, static_cast<uint16_t>(first->sequence + 1));
  EXPECT_FALSE(peer_.Next(200));

  server().SetSilenceValue(0);  // off: silence is sent too
  ASSERT_TRUE(Push(std::vector<uint8_t>(320, 0)));
  std::optional<RtpPacket> third = peer_.Next();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->timestamp, second->timestamp + 160);
}

TEST_F(RtpServerTest, TheMicrophoneLevelIsThePeakAboveTheSilenceValue) {
  testing::RecordingPoster microphone;
  testing::RecordingPoster speaker;
  server().SetLevelMeters(&microphone, &speaker);
  server().SetSilenceValue(100);
  EXPECT_FALSE(Push(LoudFrame())) << "refused while not in a call";
  EXPECT_EQ(microphone.count(WM_LEVEL_METER), 0);
  Call();
  ASSERT_TRUE(Push(testing::ToneBytes(320, 5100)));
  ASSERT_TRUE(Push(testing::ToneBytes(320, 90)));
  const std::vector<testing::RecordingPoster::Message> messages = microphone.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].number, 1026);
  EXPECT_EQ(messages[0].wParam, 5000u);
  EXPECT_EQ(messages[0].lParam, 0);
  EXPECT_EQ(messages[1].wParam, 0u);
  EXPECT_EQ(speaker.count(WM_LEVEL_METER), 0);
  EXPECT_FALSE(server().PushCaptured(nullptr, 320));
  EXPECT_FALSE(server().PushCaptured(LoudFrame().data(), 0));
}

TEST_F(RtpServerTest, DtmfSendsFivePacketsAsTheTableSays) {
  EXPECT_FALSE(server().SendDtmf(5)) << "not in a call";
  Call();
  EXPECT_FALSE(server().SendDtmf(16));
  EXPECT_FALSE(server().SendDtmf(-1));
  ASSERT_TRUE(server().SendDtmf(10));
  EXPECT_TRUE(under_.log.has("RTP Send Type:101 Dtmf(10)\n"));
  std::vector<RtpPacket> packets;
  for (int i = 0; i < 5; ++i) {
    std::optional<RtpPacket> packet = peer_.Next();
    ASSERT_TRUE(packet) << i;
    packets.push_back(*packet);
  }
  EXPECT_FALSE(peer_.Next(200));
  const uint32_t t = packets[0].timestamp;
  const uint16_t s = packets[0].sequence;
  struct Expected {
    uint32_t timestamp;
    uint16_t sequence;
    uint8_t marker;
    uint8_t flags;
    int duration;
  };
  const Expected expected[5] = {{t, s, 1, 0x0A, 0},
                                {t, static_cast<uint16_t>(s + 1), 1, 0x0A, 160},
                                {t, static_cast<uint16_t>(s + 2), 1, 0x0A, 320},
                                {t + 160, static_cast<uint16_t>(s + 3), 0, 0x8A, 480},
                                {t + 160, static_cast<uint16_t>(s + 3), 0, 0x8A, 480}};
  for (int i = 0; i < 5; ++i) {
    const RtpPacket& p = packets[static_cast<std::size_t>(i)];
    const Expected& e = expected[i];
    EXPECT_EQ(p.payloadType, 101) << i;
    EXPECT_EQ(p.timestamp, e.timestamp) << i;
    EXPECT_EQ(p.sequence, e.sequence) << i;
    EXPECT_EQ(p.marker, e.marker) << i;
    ASSERT_EQ(p.payloadLength, 4) << i;
    EXPECT_EQ(p.payload[0], 10) << i;
    EXPECT_EQ(p.payload[1], e.flags) << i;
    EXPECT_EQ(p.payload[2] << 8 | p.payload[3], e.duration) << i;
  }
  // The session goes on at T + 320 with the next number.
  ASSERT_TRUE(server().SetSendPayloadType(0));
  ASSERT_TRUE(Push(LoudFrame()));
  std::optional<RtpPacket> audio = peer_.Next();
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->timestamp, t + 320);
  EXPECT_EQ(audio->sequence, static_cast<uint16_t>(s + 4));
}

TEST_F(RtpServerTest, ReceivedAudioPlaysPerSourceAndNewSourcesAreCapped) {
  Call();
  const std::vector<uint8_t> payload(160, 0x10);  // loud PCMU
  for (uint32_t ssrc = 1; ssrc <= 10; ++ssrc) {
    ASSERT_GT(peer_.Send(RtpDatagram(0, 1, 0, ssrc, payload), server().localPort()), 0);
  }
  ASSERT_TRUE(testing::Eventually([&] { return server().playerCount() == 4; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(server().playerCount(), PlayerTable::kMaxPlayers);
  std::shared_ptr<const WavePlayer> first = server().player(1);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->currentBytes(), 320) << "160 PCMU bytes decode to 320 PCM bytes";
  EXPECT_FALSE(server().player(5));

  // Telephone-events, unknown payload types and oversized G.711 make no sound.
  ASSERT_GT(peer_.Send(RtpDatagram(101, 2, 0, 1, {1, 0x8A, 0, 160}), server().localPort()), 0);
  ASSERT_GT(peer_.Send(RtpDatagram(77, 3, 0, 1, payload), server().localPort()), 0);
  std::vector<uint8_t> huge(6000, 0x10);
  RtpPacket big;
  big.payloadType = 0;
  big.ssrc = 1;
  big.SetPayload(huge.data(), static_cast<int>(huge.size()));
  std::optional<PacketBuffer> buffer = PacketBuffer::Create(7000);
  ASSERT_TRUE(buffer && RtpPacket::Build(big, *buffer) == 0);
  ASSERT_GT(
      peer_.socket().SendTo(buffer->data(), buffer->length(), kLoopback, server().localPort()), 0);
  ASSERT_GT(peer_.Send(RtpDatagram(0, 4, 160, 1, payload), server().localPort()), 0);
  ASSERT_TRUE(testing::Eventually([&] { return first->framesQueued() == 1; }, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(first->framesQueued(), 1) << "only the two PCMU packets made a frame";
  EXPECT_EQ(first->currentBytes(), 0);
}

// Strangers taking turns before the remote is confirmed: each packet still moves the remote (the
// latching rule), but the learning lines stay under four per five seconds, players under the
// cap, and the real peer's two packets confirm it as usual.
TEST_F(RtpServerTest, StrangersBeforeConfirmationWriteBoundedLearningLines) {
  Call();
  std::vector<std::unique_ptr<Peer>> strangers;
  for (int i = 0; i < 8; ++i) {
    strangers.push_back(std::make_unique<Peer>());
    ASSERT_TRUE(strangers.back()->ok());
  }
  const std::vector<uint8_t> payload(160, 0x10);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; ++i) {
    const std::size_t who = static_cast<std::size_t>(i) % strangers.size();
    ASSERT_GT(strangers[who]->Send(RtpDatagram(0, static_cast<uint16_t>(i), 0,
                                               static_cast<uint32_t>(100 + who), payload),
                                   server().localPort()),
              0);
    if (i % 100 == 99) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // Delivered in order on one socket: once the peer's pair confirms it, the flood is handled.
  ASSERT_GT(peer_.Send(RtpDatagram(0, 1, 0, 42, payload), server().localPort()), 0);
  ASSERT_GT(peer_.Send(RtpDatagram(0, 2, 160, 42, payload), server().localPort()), 0);
  ASSERT_TRUE(testing::Eventually([&] { return server().remoteFixed(); }, 10000));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(
      under_.log.has("[RTP] Fixed Remote 127.0.0.1:" + std::to_string(peer_.port()) + "\n"));
  EXPECT_EQ(server().destinations(), (std::vector<RtpDestination>{{42, kLoopback, peer_.port()}}));
  const int learning = under_.log.count("[RTP] Recv Remote");
  EXPECT_GE(learning, 1);
  EXPECT_LE(learning, 4 * (static_cast<int>(seconds / 5.0) + 1));
  EXPECT_LE(server().playerCount(), PlayerTable::kMaxPlayers);
}

TEST_F(RtpServerTest, WithoutANatServerNoProbeIsSentAndNoRemoteIsLearned) {
  server().SetNatMode(false);
  Call();
  Peer other;
  ASSERT_TRUE(other.ok());
  // Another sender is neither learned nor heard; the remote of the SDP is.
  const uint64_t strangers = server().strangerPackets();
  ASSERT_GT(
      other.Send(RtpDatagram(0, 1, 0, 42, std::vector<uint8_t>(160, 0x10)), server().localPort()),
      0);
  ASSERT_TRUE(testing::Eventually([&] { return server().strangerPackets() > strangers; }, 2000));
  EXPECT_EQ(server().playerCount(), 0);
  EXPECT_EQ(server().destinations(), (std::vector<RtpDestination>{{0, kLoopback, peer_.port()}}));
  EXPECT_FALSE(server().remoteFixed());
  ASSERT_GT(
      peer_.Send(RtpDatagram(0, 1, 0, 43, std::vector<uint8_t>(160, 0x10)), server().localPort()),
      0);
  ASSERT_TRUE(testing::Eventually([&] { return server().playerCount() == 1; }, 2000));
  ASSERT_TRUE(server().SetSendPayloadType(0));
  ASSERT_TRUE(Push(LoudFrame()));
  std::optional<RtpPacket> packet = peer_.Next();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->payloadType, 0) << "audio, and nothing before it";
  EXPECT_FALSE(other.Next(200));
  EXPECT_EQ(under_.log.count("RTP GetNAT"), 0);
  EXPECT_EQ(under_.log.count("RTP Detect"), 0);
}

TEST_F(RtpServerTest, EndRTPSessionEndsTheCallAndAsksTheNatServerAgain) {
  Peer nat;
  ASSERT_TRUE(nat.ok());
  server().SetNatMode(false);  // no upkeep, so only the end of the call sends
  ASSERT_TRUE(server().SetNatServer(120, "127.0.0.1", nat.port()));
  Call();
  ASSERT_GT(
      peer_.Send(RtpDatagram(0, 1, 0, 42, std::vector<uint8_t>(160, 0x10)), server().localPort()),
      0);
  ASSERT_TRUE(testing::Eventually([&] { return server().playerCount() == 1; }, 2000));
  server().EndRTPSession();
  EXPECT_FALSE(server().sending());
  EXPECT_FALSE(server().receiving());
  EXPECT_FALSE(server().remoteFixed());
  EXPECT_TRUE(server().natQueryPending());
  EXPECT_EQ(server().probeTarget(), Ipv4Endpoint());
  EXPECT_TRUE(server().destinations().empty());
  EXPECT_EQ(server().playerCount(), 0);
  std::optional<RtpPacket> probe = nat.Next();
  ASSERT_TRUE(probe);
  EXPECT_EQ(testing::PayloadString(*probe), "GetNAT");
  EXPECT_EQ(probe->payloadType, 120);
  EXPECT_EQ(probe->marker, 1);
  EXPECT_FALSE(nat.Next(200)) << "one GetNAT";
  EXPECT_FALSE(server().SendDtmf(1));
  EXPECT_FALSE(Push(LoudFrame()));
}

}  // namespace
}  // namespace corvel
