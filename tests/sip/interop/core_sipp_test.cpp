// The user-agent core against sipp scenarios on loopback in a private network namespace:
// calls in both directions, failure answers, CANCEL, a stray BYE and OPTIONS.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "sip/interop/peers.h"
#include "sip/interop/private_network.h"
#include "sip/ua/user_agent.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::InteropFile;
using testing::Sipp;
using testing::TempFolder;
using testing::UaPeer;
using namespace corvel::ua;

constexpr int kSippMs = 25000;

constexpr const char* kSdp =
    "v=0\r\no=2002 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
    "m=audio 12000 RTP/AVP 0 101\r\na=rtpmap:0 PCMU/8000\r\na=rtpmap:101 telephone-event/8000\r\n"
    "a=sendrecv\r\n";

void SetSdp(osip_message_t* message) {
  osip_message_set_body(message, kSdp, std::strlen(kSdp));
  osip_message_set_content_type(message, "application/sdp");
}

std::string Scenario(const std::string& name) {
  return InteropFile("scenarios/" + name);
}

// How often a message starting with `start` appears in sipp's message log.
int CountInLog(const std::string& log, const std::string& start) {
  int count = 0;
  for (std::size_t at = log.find("\n" + start); at != std::string::npos;
       at = log.find("\n" + start, at + 1)) {
    ++count;
  }
  return count;
}

class CoreSippTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  std::unique_ptr<UaPeer> core_;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    core_ = std::make_unique<UaPeer>("2002");
    ASSERT_TRUE(core_->ok());
  }

  std::unique_ptr<Sipp> CallCore(const std::string& scenario) {
    return Sipp::Start(folder_, Scenario(scenario), "127.0.0.1:" + std::to_string(core_->port()), 0,
                       {"-s", "2002"});
  }

  // Answers the next incoming call as a phone does: 180, then 200 with an SDP answer.
  EventPtr AnswerIncoming() {
    EventPtr invite = core_->WaitFor(EXOSIP_CALL_INVITE, 10000);
    if (!invite) return nullptr;
    EXPECT_EQ(core_->ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
    MessagePtr answer;
    EXPECT_EQ(core_->ua().CallBuildAnswer(invite->tid, 200, &answer), 0);
    if (!answer) return nullptr;
    SetSdp(answer.get());
    EXPECT_EQ(core_->ua().CallSendAnswer(invite->tid, 200, std::move(answer)), 0);
    return invite;
  }

  // Places a call to sipp listening on port.
  int CallSipp(int port) {
    MessagePtr invite;
    const std::string to = "sip:3003@127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(core_->ua().CallBuildInitialInvite(&invite, to.c_str(), core_->uri().c_str(), nullptr,
                                                 "SipPhone"),
              0);
    if (!invite) return -1;
    SetSdp(invite.get());
    return core_->ua().CallSendInitialInvite(std::move(invite));
  }
};

TEST_F(CoreSippTest, IncomingCallIsRepeatedUntilAckAndEndedBySipp) {
  std::unique_ptr<Sipp> sipp = CallCore("uac_call_sipp_bye.xml");
  ASSERT_TRUE(sipp);
  EventPtr invite = AnswerIncoming();
  ASSERT_TRUE(invite);
  EventPtr ack = core_->WaitFor(EXOSIP_CALL_ACK, 10000);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->cid, invite->cid);
  EventPtr closed = core_->WaitFor(EXOSIP_CALL_CLOSED, 10000);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->did, invite->did);
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RELEASED, 5000));
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
  // The 200 came at least three times during the 1.7 s before the ACK (0, 0.5, 1.5 s) and
  // never after it (sipp waited 1.5 s more before its BYE).
  const std::string log = sipp->Messages();
  const std::size_t ackAt = log.find("\nACK ");
  ASSERT_NE(ackAt, std::string::npos);
  EXPECT_GE(CountInLog(log.substr(0, ackAt), "SIP/2.0 200 OK"), 3);
  const std::string afterAck = log.substr(ackAt, log.find("\nBYE ", ackAt) - ackAt);
  EXPECT_EQ(CountInLog(afterAck, "SIP/2.0 200 OK"), 0);
}

TEST_F(CoreSippTest, IncomingCallEndedByTheCore) {
  std::unique_ptr<Sipp> sipp = CallCore("uac_call_core_bye.xml");
  ASSERT_TRUE(sipp);
  EventPtr invite = AnswerIncoming();
  ASSERT_TRUE(invite);
  EventPtr ack = core_->WaitFor(EXOSIP_CALL_ACK, 10000);
  ASSERT_TRUE(ack);
  ASSERT_EQ(core_->ua().CallTerminate(ack->cid, ack->did), 0);
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RELEASED, 10000));
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
}

TEST_F(CoreSippTest, OutgoingCallAnsweredAndEndedByTheCore) {
  std::unique_ptr<Sipp> sipp = Sipp::Start(folder_, Scenario("uas_answer.xml"), "", 0);
  ASSERT_TRUE(sipp);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // sipp's socket is open
  const int cid = CallSipp(sipp->port());
  ASSERT_GT(cid, 0);
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RINGING, 10000));
  EventPtr answered = core_->WaitFor(EXOSIP_CALL_ANSWERED, 10000);
  ASSERT_TRUE(answered);
  SdpPtr remote = core_->ua().GetRemoteSdp(answered->did);
  ASSERT_TRUE(remote);
  MessagePtr ack;
  ASSERT_EQ(core_->ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(core_->ua().CallSendAck(answered->did, std::move(ack)), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // The endpoint's hang-up: its own BYE, then terminate, under the stack lock.
  core_->ua().Lock();
  MessagePtr bye;
  EXPECT_EQ(core_->ua().CallBuildRequest(answered->did, "BYE", &bye), 0);
  EXPECT_EQ(core_->ua().CallSendRequest(answered->did, std::move(bye)), 0);
  EXPECT_EQ(core_->ua().CallTerminate(cid, answered->did), 0);
  core_->ua().Unlock();
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RELEASED, 10000));
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
  // One BYE only: the terminate after it sent nothing more.
  EXPECT_EQ(CountInLog(sipp->Messages(), "BYE "), 1);
}

struct RejectCase {
  int code;
  const char* reason;
  EventType event;
};

class CoreRejectTest : public CoreSippTest, public ::testing::WithParamInterface<RejectCase> {};

TEST_P(CoreRejectTest, FinalAnswersAreAcknowledged) {
  const RejectCase& c = GetParam();
  std::string scenario = testing::ReadFile(Scenario("uas_reject.xml.in"));
  scenario = std::regex_replace(scenario, std::regex("@CODE@"), std::to_string(c.code));
  scenario = std::regex_replace(scenario, std::regex("@REASON@"), c.reason);
  const std::string path = folder_ / ("uas_reject_" + std::to_string(c.code) + ".xml");
  testing::WriteFile(path, scenario);
  std::unique_ptr<Sipp> sipp = Sipp::Start(folder_, path, "", 0);
  ASSERT_TRUE(sipp);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int cid = CallSipp(sipp->port());
  ASSERT_GT(cid, 0);
  EventPtr failure = core_->WaitFor(c.event, 10000);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->cid, cid);
  ASSERT_TRUE(failure->response);
  EXPECT_EQ(failure->response->status_code, c.code);
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RELEASED, 5000));
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
}

INSTANTIATE_TEST_SUITE_P(Codes, CoreRejectTest,
                         ::testing::Values(RejectCase{486, "Busy Here", EXOSIP_CALL_REQUESTFAILURE},
                                           RejectCase{404, "Not Found", EXOSIP_CALL_REQUESTFAILURE},
                                           RejectCase{603, "Decline", EXOSIP_CALL_GLOBALFAILURE}));

TEST_F(CoreSippTest, UnansweredOutgoingCallIsCancelled) {
  std::unique_ptr<Sipp> sipp = Sipp::Start(folder_, Scenario("uas_cancel.xml"), "", 0);
  ASSERT_TRUE(sipp);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const int cid = CallSipp(sipp->port());
  ASSERT_GT(cid, 0);
  ASSERT_TRUE(core_->WaitFor(EXOSIP_CALL_RINGING, 10000));
  ASSERT_EQ(core_->ua().CallTerminate(cid, 0), 0);
  EventPtr failure = core_->WaitFor(EXOSIP_CALL_REQUESTFAILURE, 10000);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->response->status_code, 487);
  EXPECT_TRUE(core_->WaitFor(EXOSIP_CALL_RELEASED, 5000));
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
}

TEST_F(CoreSippTest, StrayByeGets481AndAMessageEvent) {
  std::unique_ptr<Sipp> sipp = CallCore("uac_stray_bye.xml");
  ASSERT_TRUE(sipp);
  EventPtr event = core_->WaitFor(EXOSIP_MESSAGE_NEW, 10000);
  ASSERT_TRUE(event);
  ASSERT_TRUE(event->request);
  EXPECT_STREQ(event->request->sip_method, "BYE");
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
}

TEST_F(CoreSippTest, OptionsIsAnswered) {
  std::unique_ptr<Sipp> sipp = CallCore("uac_options.xml");
  ASSERT_TRUE(sipp);
  ASSERT_TRUE(sipp->Succeeded(kSippMs)) << sipp->Report();
}

}  // namespace
}  // namespace corvel
