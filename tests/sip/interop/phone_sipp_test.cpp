// The client's phone module registered with Kamailio, against sipp scenarios through the proxy:
// refusals with their reasons, a caller that cancels, calls nobody answers, a second call during
// a call, a conference member's call, an answer without a common format, and a 200 repeated
// until its ACK.
#include <gtest/gtest.h>

#include <string>

#include "media/rtp/rtp_server.h"
#include "sip/interop/peers.h"
#include "sip/interop/phone_under_test.h"
#include "sip/interop/private_network.h"

namespace corvel {
namespace {

using testing::InteropFile;
using testing::Kamailio;
using testing::PhoneUnderTest;
using testing::Sipp;
using testing::TempFolder;
using testing::WaitUntil;

std::string Scenario(const std::string& name) {
  return InteropFile("scenarios/" + name);
}

int Count(const std::string& text, const std::string& what) {
  int count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

class PhoneSippTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  std::unique_ptr<Kamailio> kamailio_;
  std::unique_ptr<PhoneUnderTest> phone_;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    kamailio_ = Kamailio::Start(folder_);
    ASSERT_TRUE(kamailio_) << testing::ReadFile(folder_ / "kamailio.log");
    const std::string silence = folder_ / "silence.wav";
    ASSERT_TRUE(testing::WriteWav(silence, testing::Samples(8000 * 10, 0)));
    phone_ = std::make_unique<PhoneUnderTest>(folder_, kamailio_->port(), "1001", silence);
    ASSERT_TRUE(phone_->module().CreatePhoneModule({})) << phone_->Log();
    ASSERT_TRUE(phone_->Registered()) << phone_->Log();
  }

  std::string Proxy() const { return "127.0.0.1:" + std::to_string(kamailio_->port()); }

  // sipp calling the client through the proxy.
  std::unique_ptr<Sipp> Caller(const std::string& scenario) {
    return Sipp::Start(folder_, Scenario(scenario), Proxy(), 0, {"-s", "1001"});
  }

  // sipp answering as `user` through the proxy: registered first on the port it then listens on
  // (0: a free one; the same port again keeps the proxy from forking to stale contacts).
  std::unique_ptr<Sipp> Callee(const std::string& scenarioPath, const std::string& user,
                               int port = 0) {
    if (port == 0) port = testing::FreeUdpPort();
    std::unique_ptr<Sipp> registration =
        Sipp::Start(folder_, Scenario("uac_register.xml"), Proxy(), port, {"-s", user});
    if (!registration || !registration->Succeeded(5000)) return nullptr;
    registration.reset();
    return Sipp::Start(folder_, scenarioPath, "", port);
  }

  // Answers the next incoming call the way the window's call command does.
  bool AnswerIncoming() {
    if (!phone_->WaitForState(1, 8000)) return false;
    // The second report comes once the 180 is out.
    if (!WaitUntil([&] { return phone_->States().size() >= 2; }, 3000)) return false;
    return phone_->module().Answer(phone_->Last().Identify, 200);
  }
};

TEST_F(PhoneSippTest, RefusalsEndTheOutgoingCallWithTheirReasons) {
  const struct {
    int code;
    const char* reason;
    int expected;
  } cases[] = {{404, "Not Found", 1},
               {406, "Not Acceptable", 2},
               {486, "Busy Here", 3},
               {603, "Decline", 0}};
  const std::string scenario = testing::ReadFile(Scenario("uas_reject.xml.in"));
  int calls = 0;
  const int port = testing::FreeUdpPort();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    std::string text = scenario;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"@CODE@", std::to_string(c.code)},
          {"@REASON@", c.reason}}) {
      for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key))
        text.replace(at, key.size(), value);
    }
    const std::string path = folder_ / ("uas_reject_" + std::to_string(c.code) + ".xml");
    testing::WriteFile(path, text);
    std::unique_ptr<Sipp> sipp = Callee(path, "3003", port);
    ASSERT_TRUE(sipp);
    ASSERT_TRUE(phone_->module().Invite("3003")) << phone_->Log();
    ++calls;
    ASSERT_TRUE(WaitUntil(
        [&] {
          return Count(testing::ReadFile(phone_->folder() + "/SIPPhone.log"),
                       "[PROCBYE] Call Count:0") == calls;
        },
        5000))
        << phone_->Log();
    EXPECT_TRUE(sipp->Succeeded(5000)) << sipp->Report();
    EXPECT_EQ(phone_->Last().state, -1);
    EXPECT_EQ(phone_->Last().failed, 1);
    EXPECT_EQ(phone_->Last().reason, c.expected);
  }
  EXPECT_EQ(phone_->module().sipServer()->callCount(), 0);
}

TEST_F(PhoneSippTest, ACallerThatCancelsWhileRingingEndsTheIncomingCall) {
  std::unique_ptr<Sipp> sipp = Caller("uac_cancel_ringing.xml");
  ASSERT_TRUE(sipp);
  EXPECT_TRUE(sipp->Succeeded(10000)) << sipp->Report();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000)) << phone_->Log();
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, -1}));
  EXPECT_EQ(phone_->module().sipServer()->callCount(), 0);
}

TEST_F(PhoneSippTest, UnansweredCallsEndAtTheTimeOutInBothDirections) {
  phone_->module().sipServer()->SetCallTimeout(2);
  // Incoming: refused with 603 when nobody answers.
  std::unique_ptr<Sipp> caller = Caller("uac_unanswered.xml");
  ASSERT_TRUE(caller);
  EXPECT_TRUE(caller->Succeeded(12000)) << caller->Report();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000)) << phone_->Log();
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, -1}));
  // Outgoing: the ringing call is cancelled.
  std::unique_ptr<Sipp> callee = Callee(Scenario("uas_cancel.xml"), "3003");
  ASSERT_TRUE(callee);
  ASSERT_TRUE(phone_->module().Invite("3003"));
  EXPECT_TRUE(callee->Succeeded(12000)) << callee->Report() << phone_->Log();
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, -1, 1, 2, -1}));
  EXPECT_EQ(phone_->module().sipServer()->callCount(), 0);
}

TEST_F(PhoneSippTest, ASecondCallDuringACallIsRefusedWith400) {
  std::unique_ptr<Sipp> first = Caller("uac_held_call.xml");
  ASSERT_TRUE(first);
  ASSERT_TRUE(AnswerIncoming()) << phone_->Log() << first->Report();
  ASSERT_TRUE(phone_->WaitForState(5, 5000)) << phone_->Log();
  std::unique_ptr<Sipp> second = Caller("uac_refused.xml");
  ASSERT_TRUE(second);
  EXPECT_TRUE(second->Succeeded(8000)) << second->Report();
  // The call in progress goes on until its caller hangs up.
  EXPECT_EQ(phone_->module().sipServer()->callCount(), 1);
  EXPECT_TRUE(first->Succeeded(10000)) << first->Report();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000));
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, 5, -1}));
  EXPECT_NE(phone_->Log().find("[PROCINVITE] Not Support Two Conference OR Two Call"),
            std::string::npos);
}

TEST_F(PhoneSippTest, AConferenceMembersCallIsTakenLikeAnyOther) {
  std::unique_ptr<Sipp> sipp = Caller("uac_conference_call.xml");
  ASSERT_TRUE(sipp);
  ASSERT_TRUE(AnswerIncoming()) << phone_->Log();
  EXPECT_TRUE(sipp->Succeeded(10000)) << sipp->Report();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000));
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, 5, -1}));
  EXPECT_NE(phone_->Log().find("[PROCINVITE] Conference Call 12 SIP-Conference"),
            std::string::npos);
}

TEST_F(PhoneSippTest, AnAnswerWithoutACommonFormatIsAcknowledgedAndHungUp) {
  std::unique_ptr<Sipp> sipp = Callee(Scenario("uas_no_common_format.xml"), "3003");
  ASSERT_TRUE(sipp);
  ASSERT_TRUE(phone_->module().Invite("3003"));
  EXPECT_TRUE(sipp->Succeeded(10000)) << sipp->Report() << phone_->Log();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000));
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 2, -1}));
  EXPECT_NE(phone_->Log().find("[PROCANSWER] TakeSDPMessage Failed"), std::string::npos);
}

TEST_F(PhoneSippTest, The200IsRepeatedUntilItsAckAndTheCallConnectsOnlyThen) {
  std::unique_ptr<Sipp> sipp = Caller("uac_slow_ack.xml");
  ASSERT_TRUE(sipp);
  ASSERT_TRUE(AnswerIncoming()) << phone_->Log();
  // sipp waits two seconds before its ACK: no connected report meanwhile.
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1}));
  ASSERT_TRUE(phone_->WaitForState(5, 5000)) << phone_->Log();
  EXPECT_TRUE(sipp->Succeeded(10000)) << sipp->Report();
  ASSERT_TRUE(phone_->WaitForState(-1, 3000));
  // T1 = 500 ms: the 200 went out at 0, 0.5 and 1.5 s before the ACK at 2 s.
  EXPECT_GE(Count(sipp->Messages(), "SIP/2.0 200 OK"), 3 + 1) << sipp->Messages();
  EXPECT_EQ(phone_->States(), (std::vector<int>{1, 1, 5, -1}));
}

}  // namespace
}  // namespace corvel
