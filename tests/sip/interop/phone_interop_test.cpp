// The client's phone module - RTP server, file-backed capture and playback, SIP endpoint -
// registered with Kamailio and calling real softphones through it, in a private network
// namespace: audio both ways checked by correlating recordings with what was played, the reports
// the window would see, and DTMF keys at the peer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "app/window_messages.h"
#include "media/audio/audio_backend_registry.h"
#include "media/audio/audio_test_support.h"
#include "media/rtp/rtp_server.h"
#include "sip/interop/peers.h"
#include "sip/interop/phone_under_test.h"
#include "sip/interop/private_network.h"
#include "sip/interop/soft_peers.h"

namespace corvel {
namespace {

using testing::Baresip;
using testing::FreeUdpPort;
using testing::Kamailio;
using testing::PhoneUnderTest;
using testing::Samples;
using testing::Speech;
using testing::SpokenShareFound;
using testing::TempFolder;
using testing::WaitUntil;

struct BaresipCase {
  const char* name;
  const char* codec;
  int payloadType;
  bool corvelCalls;  // else baresip calls
};

std::string CaseName(const ::testing::TestParamInfo<BaresipCase>& info) {
  return info.param.name;
}

class BaresipCallTest : public ::testing::TestWithParam<BaresipCase> {
 protected:
  TempFolder folder_;
  std::unique_ptr<Kamailio> kamailio_;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    kamailio_ = Kamailio::Start(folder_);
    ASSERT_TRUE(kamailio_) << testing::ReadFile(folder_ / "kamailio.log");
  }
};

TEST_P(BaresipCallTest, AudioFlowsBothWaysAndEitherSideHangsUp) {
  const BaresipCase& c = GetParam();
  const Samples ours = Speech(folder_, "ours", "Hello, this is a test call from Corvel.");
  const Samples theirs = Speech(folder_, "theirs", "Good morning, baresip is answering you now.");
  ASSERT_GT(ours.size(), 8000u) << "espeak-ng and sox make the test speech";
  ASSERT_GT(theirs.size(), 8000u);
  // baresip hangs up when its file ends: called, it ends the call after a few seconds; calling,
  // it talks long enough for the client to hang up first.
  Samples played = theirs;
  played.resize(theirs.size() + 8000 * (c.corvelCalls ? 4 : 20), 0);
  ASSERT_TRUE(testing::WriteWav(folder_ / "played.wav", played));

  PhoneUnderTest phone(folder_, kamailio_->port(), "1001", folder_ / "ours.wav");
  ASSERT_TRUE(phone.module().CreatePhoneModule({})) << phone.Log();
  ASSERT_TRUE(phone.Registered()) << phone.Log();

  Baresip::Options options;
  options.registrarPort = kamailio_->port();
  options.codec = c.codec;
  options.playFile = folder_ / "played.wav";
  options.dial = c.corvelCalls ? "" : "sip:1001@127.0.0.1:" + std::to_string(kamailio_->port());
  options.quitAfterSeconds = 40;
  std::unique_ptr<Baresip> peer = Baresip::Start(folder_, options);
  ASSERT_TRUE(peer);
  // Registered once Kamailio's answer is in: before it, a call to 3002 would find nobody.
  ASSERT_TRUE(WaitUntil([&] { return peer->OutputHas("200 OK (test-proxy)"); }, 5000))
      << peer->Output();

  const auto dialled = std::chrono::steady_clock::now();
  if (c.corvelCalls) {
    ASSERT_TRUE(phone.module().Invite("3002")) << phone.Log();
  } else {
    ASSERT_TRUE(phone.WaitForState(1, 8000)) << peer->Output();
    ASSERT_TRUE(phone.module().Answer(phone.Last().Identify, 200)) << phone.Log();
  }
  ASSERT_TRUE(phone.WaitForState(5, 5000)) << phone.Log() << peer->Output();
  EXPECT_EQ(phone.module().rtpServer()->sendPayloadType(), c.payloadType);
  const auto connected = std::chrono::steady_clock::now();
  if (c.corvelCalls) {
    std::printf("%s: INVITE to connected (200 and ACK) in %.1f ms\n", c.name,
                std::chrono::duration<double, std::milli>(connected - dialled).count());
  }
  ASSERT_TRUE(phone.module().StartCapture());

  // Keys during the call reach the peer as telephone-events.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  for (int key : {1, 5, 11}) {
    EXPECT_TRUE(phone.module().SendDtmf(key));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  if (c.corvelCalls) {
    ASSERT_TRUE(phone.WaitForState(-1, 10000)) << phone.Log();  // baresip's BYE
    EXPECT_EQ(phone.Last().failed, 1);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    ASSERT_TRUE(phone.module().HangUp(phone.Last().Identify));
    EXPECT_EQ(phone.Last().failed, 0);
  }
  const double callSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - connected).count();
  const std::vector<int> expected =
      c.corvelCalls ? std::vector<int>{1, 2, 5, -1} : std::vector<int>{1, 1, 5, -1};
  std::vector<int> states = phone.States();
  // baresip answers at once: the ringing report is there only when it sent 180 first.
  if (c.corvelCalls && states.size() == 3) states.insert(states.begin() + 1, 2);
  EXPECT_EQ(states, expected);
  EXPECT_EQ(phone.module().sipServer()->callCount(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string output = peer->Output();
  peer->Stop();

  for (const char* key : {"'1'", "'5'", "'#'"}) {
    EXPECT_NE(output.find(std::string("received event: ") + key + " (end=1)"), std::string::npos)
        << key << "\n"
        << output;
  }

  const testing::WavContent received = testing::ReadWav(peer->DecodedRecording());
  ASSERT_TRUE(received.ok) << "baresip recorded nothing:\n" << output;
  const testing::Match toPeer = testing::FindSource(ours, received.samples, 8 * 3000);
  const Samples heard = phone.Heard();
  ASSERT_GT(heard.size(), 8000u);
  const testing::Match fromPeer = testing::FindSource(theirs, heard, 8 * 3000);
  std::printf(
      "%s (%.1f s): Corvel -> baresip correlation %.3f; baresip -> Corvel correlation "
      "%.3f at %.0f ms after the call connected\n",
      c.name, callSeconds, toPeer.correlation, fromPeer.correlation, fromPeer.lag / 8.0);
  EXPECT_GE(SpokenShareFound(ours, received.samples, 8 * 3000, 0.9), 0.75);
  EXPECT_GE(SpokenShareFound(theirs, heard, 8 * 3000, 0.9), 0.75);
}

INSTANTIATE_TEST_SUITE_P(Peers, BaresipCallTest,
                         ::testing::Values(BaresipCase{"CorvelCallsPcmu", "PCMU", 0, true},
                                           BaresipCase{"CorvelCallsPcma", "PCMA", 8, true},
                                           BaresipCase{"BaresipCallsPcmu", "PCMU", 0, false},
                                           BaresipCase{"BaresipCallsPcma", "PCMA", 8, false}),
                         CaseName);

// Two clients through Kamailio in the speech codecs no softphone here offers both ways: the
// codec of each call is the only one both sides enable.
struct CodecCase {
  const char* name;
  const char* waveLines;
  int payloadType;
};

std::string CodecCaseName(const ::testing::TestParamInfo<CodecCase>& info) {
  return info.param.name;
}

class CorvelToCorvelTest : public ::testing::TestWithParam<CodecCase> {
 protected:
  TempFolder folder_;
  std::unique_ptr<Kamailio> kamailio_;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    kamailio_ = Kamailio::Start(folder_);
    ASSERT_TRUE(kamailio_) << testing::ReadFile(folder_ / "kamailio.log");
  }
};

TEST_P(CorvelToCorvelTest, SpeechCrossesInBothDirections) {
  const CodecCase& c = GetParam();
  const Samples first = Speech(folder_, "first", "Hello, this is a test call from Corvel.");
  const Samples second = Speech(folder_, "second", "Good morning, the other Corvel answers.");
  ASSERT_GT(first.size(), 8000u) << "espeak-ng and sox make the test speech";
  ASSERT_GT(second.size(), 8000u);
  PhoneUnderTest caller(folder_, kamailio_->port(), "1001", folder_ / "first.wav");
  PhoneUnderTest callee(folder_, kamailio_->port(), "1002", folder_ / "second.wav");
  for (PhoneUnderTest* phone : {&caller, &callee}) {
    phone->SetCodecs(c.waveLines);
    ASSERT_TRUE(phone->module().CreatePhoneModule({})) << phone->Log();
    ASSERT_TRUE(phone->Registered()) << phone->Log();
  }
  ASSERT_TRUE(caller.module().Invite("1002")) << caller.Log();
  ASSERT_TRUE(callee.WaitForState(1, 5000)) << callee.Log();
  ASSERT_TRUE(WaitUntil([&] { return callee.States().size() >= 2; }, 3000));
  ASSERT_TRUE(callee.module().Answer(callee.Last().Identify, 200)) << callee.Log();
  ASSERT_TRUE(caller.WaitForState(5, 5000)) << caller.Log();
  ASSERT_TRUE(callee.WaitForState(5, 5000)) << callee.Log();
  EXPECT_EQ(caller.module().rtpServer()->sendPayloadType(), c.payloadType);
  EXPECT_EQ(callee.module().rtpServer()->sendPayloadType(), c.payloadType);
  ASSERT_TRUE(caller.module().StartCapture());
  ASSERT_TRUE(callee.module().StartCapture());
  const std::size_t longest = std::max(first.size(), second.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(longest / 8 + 1500));
  ASSERT_TRUE(callee.module().HangUp(callee.Last().Identify));
  ASSERT_TRUE(caller.WaitForState(-1, 5000)) << caller.Log();
  EXPECT_EQ(caller.Last().failed, 1);  // ended by the other side

  const Samples heardByCallee = callee.Heard();
  const Samples heardByCaller = caller.Heard();
  ASSERT_GT(heardByCallee.size(), 8000u);
  ASSERT_GT(heardByCaller.size(), 8000u);
  const testing::Match there = testing::FindSource(first, heardByCallee, 8 * 3000);
  const testing::Match back = testing::FindSource(second, heardByCaller, 8 * 3000);
  std::printf(
      "%s: caller -> callee correlation %.3f at %.0f ms, callee -> caller %.3f at %.0f ms\n",
      c.name, there.correlation, there.lag / 8.0, back.correlation, back.lag / 8.0);
  // The speech codecs keep the sound, not the waveform.
  EXPECT_GE(SpokenShareFound(first, heardByCallee, 8 * 3000, 0.6), 0.75);
  EXPECT_GE(SpokenShareFound(second, heardByCaller, 8 * 3000, 0.6), 0.75);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CorvelToCorvelTest,
    ::testing::Values(CodecCase{"G729", "pcmu=0,0\npcma=0,8\ng729=1,18\nsamr=0,98\n", 18},
                      CodecCase{"AMR", "pcmu=0,0\npcma=0,8\ng729=0,18\nsamr=1,98\n", 98}),
    CodecCaseName);

}  // namespace
}  // namespace corvel
