// The client's phone module in G.729 calls with linphonec through Kamailio, in a private network
// namespace: each side calls the other, audio both ways is found again by correlation, DTMF keys
// arrive at linphonec, and the call ends by a BYE from either side.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "media/audio/audio_test_support.h"
#include "media/rtp/rtp_server.h"
#include "sip/interop/peers.h"
#include "sip/interop/phone_under_test.h"
#include "sip/interop/private_network.h"
#include "sip/interop/soft_peers.h"

namespace corvel {
namespace {

using testing::Kamailio;
using testing::Linphonec;
using testing::PhoneUnderTest;
using testing::Samples;
using testing::Speech;
using testing::SpokenShareFound;
using testing::TempFolder;

struct LinphoneCase {
  const char* name;
  bool corvelCalls;  // else linphonec calls; the called side's peer hangs up
  // The answer takes telephone-event only at the configured number, and linphonec 5.1 offers it
  // as 96 whatever [misc] telephone_event_pt says; offered the client's 101, it answers with 101.
  int dtmfType;
};

std::string CaseName(const ::testing::TestParamInfo<LinphoneCase>& info) {
  return info.param.name;
}

class LinphoneCallTest : public ::testing::TestWithParam<LinphoneCase> {
 protected:
  TempFolder folder_;
  std::unique_ptr<Kamailio> kamailio_;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    kamailio_ = Kamailio::Start(folder_);
    ASSERT_TRUE(kamailio_) << testing::ReadFile(folder_ / "kamailio.log");
  }
};

TEST_P(LinphoneCallTest, G729AudioFlowsBothWaysAndEitherSideHangsUp) {
  const LinphoneCase& c = GetParam();
  // Some ten spoken half-seconds each: a single one lost to a stall under load is not a failure.
  const Samples ours = Speech(folder_, "ours",
                              "Hello, this is a test call from Corvel. We are checking the sound "
                              "in both directions.");
  const Samples theirs = Speech(folder_, "theirs",
                                "Good morning, linphone is answering you now. The weather is fine "
                                "and the line is clear.");
  ASSERT_GT(ours.size(), 8000u) << "espeak-ng and sox make the test speech";
  ASSERT_GT(theirs.size(), 8000u);

  PhoneUnderTest phone(folder_, kamailio_->port(), "1001", folder_ / "ours.wav");
  phone.SetCodecs("pcmu=0,0\npcma=0,8\nsamr=0,98\ng729=1,18\ndtmf=1," + std::to_string(c.dtmfType) +
                  "\n");
  ASSERT_TRUE(phone.module().CreatePhoneModule({})) << phone.Log();
  ASSERT_TRUE(phone.Registered()) << phone.Log();

  Linphonec::Options options;
  options.registrarPort = kamailio_->port();
  options.codec = "G729";
  options.playFile = folder_ / "theirs.wav";
  std::unique_ptr<Linphonec> peer = Linphonec::Start(folder_, options);
  ASSERT_TRUE(peer);
  ASSERT_TRUE(peer->WaitRegistered(10000)) << peer->Output();
  EXPECT_EQ(peer->EnabledCodecs(), std::vector<std::string>{"G729 (8000)"}) << peer->Output();

  const auto dialled = std::chrono::steady_clock::now();
  if (c.corvelCalls) {
    ASSERT_TRUE(phone.module().Invite(options.user)) << phone.Log();
  } else {
    ASSERT_TRUE(peer->Command("call sip:1001@127.0.0.1:" + std::to_string(kamailio_->port())));
    ASSERT_TRUE(phone.WaitForState(1, 8000)) << peer->Output();
    ASSERT_TRUE(phone.module().Answer(phone.Last().Identify, 200)) << phone.Log();
  }
  ASSERT_TRUE(phone.WaitForState(5, 8000)) << phone.Log() << peer->Output();
  const auto connected = std::chrono::steady_clock::now();
  const double setUpMs = std::chrono::duration<double, std::milli>(connected - dialled).count();
  EXPECT_EQ(phone.module().rtpServer()->sendPayloadType(), 18);
  ASSERT_TRUE(phone.module().StartCapture());
  ASSERT_TRUE(peer->WaitForOutput("connected.", 5000)) << peer->Output();

  // Keys only once both speeches are through: each event moves the stream's timestamps on by its
  // length, which the peer's playout follows, and the correlation would take that for loss.
  // The client's player starts some 650 ms after the first packet.
  std::this_thread::sleep_until(
      connected + std::chrono::milliseconds(std::max(ours.size(), theirs.size()) / 8 + 1200));
  for (int key : {1, 5, 11}) {
    EXPECT_TRUE(phone.module().SendDtmf(key));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  EXPECT_TRUE(peer->WaitForOutput("Receiving tone #", 3000)) << peer->Output();

  if (c.corvelCalls) {
    ASSERT_TRUE(peer->Command("terminate"));
    ASSERT_TRUE(phone.WaitForState(-1, 10000)) << phone.Log() << peer->Output();
    EXPECT_EQ(phone.Last().failed, 1);
  } else {
    ASSERT_TRUE(phone.module().HangUp(phone.Last().Identify));
    EXPECT_EQ(phone.Last().failed, 0);
  }
  EXPECT_TRUE(peer->WaitForOutput(" ended (", 10000)) << peer->Output();
  const double callSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - connected).count();
  const std::vector<int> expected =
      c.corvelCalls ? std::vector<int>{1, 2, 5, -1} : std::vector<int>{1, 1, 5, -1};
  std::vector<int> states = phone.States();
  // The ringing report is there only when linphonec's 180 came before its 200.
  if (c.corvelCalls && states.size() == 3) states.insert(states.begin() + 1, 2);
  EXPECT_EQ(states, expected);
  EXPECT_EQ(phone.module().sipServer()->callCount(), 0);
  EXPECT_FALSE(kamailio_->Requests("BYE").empty()) << "the BYE went round the proxy";
  peer->Stop();
  const std::string output = peer->Output();

  for (const char* key : {"1", "5", "#"}) {
    EXPECT_NE(output.find(std::string("Receiving tone ") + key + " from"), std::string::npos)
        << key << "\n"
        << output;
  }

  const Samples received = peer->Received();
  ASSERT_GT(received.size(), 8000u) << "linphonec recorded nothing:\n" << output;
  const Samples heard = phone.Heard();
  ASSERT_GT(heard.size(), 8000u);
  const testing::Match toPeer = testing::FindSource(ours, received, 8 * 3000);
  const testing::Match fromPeer = testing::FindSource(theirs, heard, 8 * 3000);
  const double toPeerShare = SpokenShareFound(ours, received, 8 * 3000, 0.6);
  const double fromPeerShare = SpokenShareFound(theirs, heard, 8 * 3000, 0.6);
  // The lags count from the start of each recording: the peer's from its answer or connection,
  // the client's player from its first packet held, some 650 ms before it plays.
  std::printf(
      "%s (dial to connected %.0f ms, call %.1f s): Corvel -> linphonec correlation %.3f at %.0f "
      "ms, %.0f%% of the speech found; linphonec -> Corvel correlation %.3f at %.0f ms, %.0f%% "
      "found\n",
      c.name, setUpMs, callSeconds, toPeer.correlation, toPeer.lag / 8.0, toPeerShare * 100,
      fromPeer.correlation, fromPeer.lag / 8.0, fromPeerShare * 100);
  // G.729 keeps the sound, not the waveform.
  EXPECT_GE(toPeerShare, 0.75);
  EXPECT_GE(fromPeerShare, 0.75);
}

INSTANTIATE_TEST_SUITE_P(Peers, LinphoneCallTest,
                         ::testing::Values(LinphoneCase{"CorvelCallsG729", true, 101},
                                           LinphoneCase{"LinphonecCallsG729", false, 96}),
                         CaseName);

}  // namespace
}  // namespace corvel
