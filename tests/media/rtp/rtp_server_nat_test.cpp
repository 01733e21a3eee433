// NAT traversal against the development service's NAT helper, a real process on 127.0.0.1: the
// GetNAT schedule with and without replies, the public address and WM_NAT_READY, the keep-alive
// query, Detect probes in a silent call, learning and confirming the remote address, and replies
// that must be ignored.
#include <gtest/gtest.h>

#include "app/window_messages.h"
#include "rtp_server_devservice.h"
#include "rtp_server_fixture.h"

namespace corvel {
namespace {

using Clock = std::chrono::steady_clock;
using testing::kLoopback;
using testing::Peer;
using testing::RtpDatagram;

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

class RtpServerNatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(service_.Start(folder_, error)) << error;
    server().SetCodecTable(testing::ShippedCodecTable());
    ASSERT_TRUE(testing::OpenOnLoopback(server()));
    ASSERT_TRUE(server().SetSendPayloadType(0));
    ASSERT_TRUE(peer_.ok());
  }

  RtpServer& server() { return under_.server; }
  testing::LogRecorder& log() { return under_.log; }
  testing::RecordingPoster& owner() { return under_.owner; }

  bool UseNatServer() {
    return server().SetNatServer(120, service_.natHost().c_str(), service_.natPort());
  }
  std::string GetNatLine() const {
    return "RTP GetNAT PType:120 [127.0.0.1:" + std::to_string(service_.natPort()) + "]\n";
  }
  // Waits until the public address is known and the second reply of the pair has come and gone.
  void LearnPublicAddress() {
    ASSERT_TRUE(UseNatServer());
    ASSERT_TRUE(owner().WaitFor(WM_NAT_READY, 1, 5000));
    ASSERT_TRUE(testing::Eventually([&] { return service_.NatProbes() == 2; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  bool Push(const std::vector<uint8_t>& frame) {
    return server().PushCaptured(frame.data(), static_cast<int>(frame.size()));
  }

  testing::TempFolder folder_;
  testing::DevService service_;
  testing::ServerUnderTest under_;
  Peer peer_;
};

TEST_F(RtpServerNatTest, WithoutAReplyGetNatPairsGoOutEveryThreeSeconds) {
  ASSERT_FALSE(service_.Control("nat off").empty());
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(UseNatServer());
  ASSERT_TRUE(testing::Eventually([&] { return log().count(GetNatLine()) >= 2; }, 6000));
  const std::vector<testing::LogRecorder::Line> queries = log().starting("RTP GetNAT");
  ASSERT_GE(queries.size(), 2u);
  EXPECT_EQ(queries[0].text, GetNatLine());
  EXPECT_LT(Seconds(queries[0].at - start), 0.5) << "the first pair goes at once";
  EXPECT_NEAR(Seconds(queries[1].at - queries[0].at), 3.0, 0.3);
  // Each query is a pair of probes.
  EXPECT_TRUE(testing::Eventually([&] { return service_.NatProbes() == 4; }, 2000))
      << service_.NatProbes();
  EXPECT_EQ(owner().count(WM_NAT_READY), 0);
  EXPECT_FALSE(server().natAddress().known());
  EXPECT_TRUE(server().natQueryPending());
}

TEST_F(RtpServerNatTest, AReplySetsThePublicAddressAndPostsNatReady) {
  ASSERT_TRUE(UseNatServer());
  ASSERT_TRUE(owner().WaitFor(WM_NAT_READY, 1, 5000));
  const std::string port = std::to_string(server().localPort());
  EXPECT_EQ(server().natAddress(), (NatAddress{"127.0.0.1", server().localPort()}));
  EXPECT_EQ(server().natHost(), "127.0.0.1");
  EXPECT_EQ(server().natPort(), server().localPort());
  EXPECT_FALSE(server().natQueryPending());
  const std::vector<testing::RecordingPoster::Message> messages = owner().messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].number, 1029);
  EXPECT_EQ(messages[0].wParam, 1u);
  EXPECT_EQ(messages[0].lParam, 0);
  EXPECT_TRUE(log().has("RTP NAT [127.0.0.1:" + port + "] \n"));
  EXPECT_TRUE(log().has("Set NAT Host:127.0.0.1 Port:" + port + "\n"));
  // The pair's second reply finds no query pending; nothing more is asked.
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  EXPECT_EQ(owner().count(WM_NAT_READY), 1);
  EXPECT_EQ(log().count("Set NAT"), 1);
  EXPECT_EQ(log().count("RTP GetNAT"), 1);
  EXPECT_EQ(service_.NatProbes(), 2);
}

TEST_F(RtpServerNatTest, AfterTheKeepAliveIntervalWithoutSendingOneGetNatIsSent) {
  server().SetNatTiming(NatTiming{3000, 800, 60000});
  LearnPublicAddress();
  // Each keep-alive query is a single probe, its reply accepted again, the address unchanged.
  ASSERT_TRUE(owner().WaitFor(WM_NAT_READY, 3, 5000));
  const std::vector<testing::RecordingPoster::Message> ready = owner().messages();
  EXPECT_NEAR(Seconds(ready[2].at - ready[1].at), 0.8, 0.35);
  EXPECT_GE(service_.NatProbes(), 4);
  EXPECT_LE(service_.NatProbes(), 5);
  EXPECT_EQ(log().count("Set NAT"), 1);
  EXPECT_EQ(log().count("RTP GetNAT"), 1) << "keep-alive queries are not logged";
}

TEST_F(RtpServerNatTest, WhileAudioFlowsNoQueryIsSent) {
  server().SetNatTiming(NatTiming{3000, 600, 60000});
  LearnPublicAddress();
  ASSERT_TRUE(server().SetRemote("127.0.0.1", peer_.port()));
  const std::vector<uint8_t> loud = testing::ToneBytes(320, 9000);
  const auto talk = [&](int ms) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      ASSERT_TRUE(Push(loud));
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  };
  talk(200);
  const int probes = service_.NatProbes();
  talk(1600);
  EXPECT_EQ(service_.NatProbes(), probes) << "every sent frame counts as traffic";
  server().EndRTPSession();  // the end of a call asks again
  EXPECT_TRUE(testing::Eventually([&] { return service_.NatProbes() == probes + 1; }, 2000));
  EXPECT_TRUE(owner().WaitFor(WM_NAT_READY, 2, 2000));
}

TEST_F(RtpServerNatTest, ASilentCallSendsDetectPairsToTheNatServersAddressAtTheRemotePort) {
  server().SetNatTiming(NatTiming{3000, 60000, 700});
  LearnPublicAddress();
  ASSERT_TRUE(server().SetRemote("127.0.0.1", peer_.port()));
  const std::string detectLine =
      "RTP Detect PType:120 [127.0.0.1:" + std::to_string(peer_.port()) + "]\n";
  EXPECT_TRUE(log().has(detectLine));
  // The Detect of SetRemote, and maybe a pair at once: the last probe was a while ago.
  const std::vector<uint8_t> loud = testing::ToneBytes(320, 9000);
  const std::vector<uint8_t> silent(320, 0);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(Push(loud));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  uint16_t lastAudioSequence = 0;
  Clock::time_point lastAudio;
  int audio = 0;
  while (audio < 10) {
    std::optional<RtpPacket> packet = peer_.Next(2000);
    ASSERT_TRUE(packet);
    if (packet->payloadType == 0) {
      ++audio;
      lastAudio = Clock::now();
      lastAudioSequence = packet->sequence;
    }
  }
  // Silence from now on: nothing is sent, so Detect pairs follow.
  const Clock::time_point silentUntil = Clock::now() + std::chrono::milliseconds(2000);
  std::thread microphone([&] {
    while (Clock::now() < silentUntil) {
      Push(silent);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  std::vector<std::pair<RtpPacket, Clock::time_point>> probes;
  while (probes.size() < 4) {
    std::optional<RtpPacket> packet = peer_.Next(3000);
    if (!packet) break;
    probes.emplace_back(*packet, Clock::now());
  }
  microphone.join();
  ASSERT_EQ(probes.size(), 4u);
  for (const auto& [probe, at] : probes) {
    EXPECT_EQ(probe.payloadType, 120);
    EXPECT_EQ(probe.marker, 1);
    EXPECT_EQ(testing::PayloadString(probe), "Detect");
    EXPECT_EQ(probe.ssrc, server().ssrc());
    EXPECT_EQ(probe.sequence, static_cast<uint16_t>(lastAudioSequence + 1))
        << "probes take no sequence number";
  }
  EXPECT_NEAR(Seconds(probes[0].second - lastAudio), 0.7, 0.3);
  EXPECT_LT(Seconds(probes[1].second - probes[0].second), 0.1) << "a pair";
  EXPECT_NEAR(Seconds(probes[2].second - probes[0].second), 0.7, 0.3);
  EXPECT_GE(log().count(detectLine), 3);
}

TEST_F(RtpServerNatTest, TheRemoteIsLearnedFromTheFirstPacketAndConfirmedByTheNext) {
  server().SetNatTiming(NatTiming{3000, 60000, 500});
  LearnPublicAddress();
  Peer sdpAddress;  // where the SDP said the peer is
  Peer other;
  ASSERT_TRUE(sdpAddress.ok() && other.ok());
  ASSERT_TRUE(server().SetRemote("127.0.0.1", sdpAddress.port()));
  const std::string port = std::to_string(peer_.port());

  // A packet of the NAT payload type while no query is pending counts as media for learning.
  ASSERT_GT(
      peer_.Send(RtpDatagram(120, 1, 0, 0xBEEF, testing::Bytes("hello")), server().localPort()), 0);
  ASSERT_TRUE(testing::Eventually(
      [&] { return log().has("[RTP] Recv Remote 127.0.0.1:" + port + "\n"); }, 2000));
  EXPECT_EQ(server().destinations(),
            (std::vector<RtpDestination>{{0xBEEF, kLoopback, peer_.port()}}));
  EXPECT_FALSE(server().remoteFixed());
  EXPECT_EQ(server().playerCount(), 0) << "not audio: no sound";

  ASSERT_GT(peer_.Send(RtpDatagram(0, 2, 160, 0xBEEF, std::vector<uint8_t>(160, 0x10)),
                       server().localPort()),
            0);
  ASSERT_TRUE(testing::Eventually([&] { return server().remoteFixed(); }, 2000));
  EXPECT_TRUE(log().has("[RTP] Fixed Remote 127.0.0.1:" + port + "\n"));

  // Confirmed: other senders change nothing, and are not heard.
  ASSERT_TRUE(testing::Eventually([&] { return server().playerCount() == 1; }, 2000));
  const uint64_t strangers = server().strangerPackets();
  ASSERT_GT(other.Send(RtpDatagram(0, 1, 0, 0xCAFE, std::vector<uint8_t>(160, 0x10)),
                       server().localPort()),
            0);
  ASSERT_TRUE(testing::Eventually([&] { return server().strangerPackets() > strangers; }, 2000));
  EXPECT_EQ(server().playerCount(), 1);
  EXPECT_EQ(server().destinations(),
            (std::vector<RtpDestination>{{0xBEEF, kLoopback, peer_.port()}}));
  EXPECT_EQ(log().count("[RTP] Recv Remote"), 1);

  // Audio goes to the learned address only; with the remote confirmed no Detect follows.
  ASSERT_TRUE(Push(testing::ToneBytes(320, 9000)));
  std::optional<RtpPacket> packet;
  do {
    packet = peer_.Next(2000);
  } while (packet && packet->payloadType != 0);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->payloadLength, 160);
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  while (std::optional<RtpPacket> stray = sdpAddress.Next(10)) {
    EXPECT_EQ(testing::PayloadString(*stray), "Detect") << "only probes reach the SDP address";
  }
  EXPECT_FALSE(peer_.Next(10)) << "no Detect once the remote is confirmed";
}

TEST_F(RtpServerNatTest, AReplyWithoutBracketOrColonIsIgnored) {
  server().SetNatTiming(NatTiming{600, 60000, 60000});
  ASSERT_FALSE(service_.Control("nat garbage").empty());
  ASSERT_TRUE(UseNatServer());
  ASSERT_TRUE(testing::Eventually([&] { return log().count("RTP GetNAT") >= 3; }, 4000));
  EXPECT_EQ(owner().count(WM_NAT_READY), 0);
  EXPECT_FALSE(server().natAddress().known());
  EXPECT_TRUE(server().natQueryPending());
  EXPECT_GE(log().count("RTP NAT 127.0.0.1 "), 2) << "the replies came and were looked at";

  ASSERT_FALSE(service_.Control("nat on").empty());
  ASSERT_TRUE(owner().WaitFor(WM_NAT_READY, 1, 3000));
  EXPECT_TRUE(server().natAddress().known());
}

TEST_F(RtpServerNatTest, OnlyTheNatServerCanAnswerAQuery) {
  ASSERT_FALSE(service_.Control("nat off").empty());
  ASSERT_TRUE(UseNatServer());
  ASSERT_TRUE(testing::Eventually([&] { return log().count("RTP GetNAT") >= 1; }, 2000));
  ASSERT_GT(peer_.Send(RtpDatagram(120, 1, 0, 1, testing::Bytes("[203.0.113.9:4000]"), true),
                       server().localPort()),
            0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(server().natAddress().known());
  EXPECT_EQ(owner().count(WM_NAT_READY), 0);
  ASSERT_FALSE(service_.Control("nat on").empty());
  ASSERT_TRUE(owner().WaitFor(WM_NAT_READY, 1, 5000));
  EXPECT_EQ(server().natHost(), "127.0.0.1");
}

}  // namespace
}  // namespace corvel
