// Two cores in one process call each other over loopback: the INVITE dialog from both sides.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sip/ua/sdp_access.h"
#include "sip/ua/user_agent.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::UaPeer;
using namespace corvel::ua;

constexpr const char* kOffer =
    "v=0\r\no=1001 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
    "m=audio 10000 RTP/AVP 8 0 101\r\na=rtpmap:8 PCMA/8000\r\na=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\na=sendrecv\r\n";
constexpr const char* kAnswer =
    "v=0\r\no=2002 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
    "m=audio 12000 RTP/AVP 0 101\r\na=rtpmap:0 PCMU/8000\r\n"
    "a=rtpmap:101 telephone-event/8000\r\na=sendrecv\r\n";

void SetSdp(osip_message_t* message, const char* sdp) {
  ASSERT_EQ(osip_message_set_body(message, sdp, std::strlen(sdp)), 0);
  ASSERT_EQ(osip_message_set_content_type(message, "application/sdp"), 0);
}

// Places a call from caller to callee and returns the caller's cid.
int PlaceCall(UaPeer& caller, UaPeer& callee) {
  MessagePtr invite;
  EXPECT_EQ(caller.ua().CallBuildInitialInvite(&invite, callee.uri().c_str(), caller.uri().c_str(),
                                               nullptr, "SipPhone"),
            0);
  if (!invite) return -1;
  SetSdp(invite.get(), kOffer);
  return caller.ua().CallSendInitialInvite(std::move(invite));
}

class UaCallTest : public ::testing::Test {
 protected:
  UaPeer alice_{"1001"};
  UaPeer bob_{"2002"};

  void SetUp() override {
    ASSERT_TRUE(alice_.ok());
    ASSERT_TRUE(bob_.ok());
  }
};

TEST_F(UaCallTest, AnsweredCallNegotiatesAndEndsWithBye) {
  const int cid = PlaceCall(alice_, bob_);
  ASSERT_GT(cid, 0);

  EventPtr incoming = bob_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(incoming);
  EXPECT_GT(incoming->tid, 0);
  EXPECT_GT(incoming->cid, 0);
  EXPECT_GT(incoming->did, 0);
  EXPECT_EQ(incoming->sourceHost, "127.0.0.1");
  EXPECT_EQ(incoming->sourcePort, alice_.port());
  ASSERT_TRUE(incoming->request);
  ASSERT_NE(incoming->request->from, nullptr);
  EXPECT_STREQ(incoming->request->from->url->username, "1001");

  EXPECT_EQ(bob_.ua().CallSendAnswer(incoming->tid, 180, nullptr), 0);
  EventPtr ringing = alice_.WaitFor(EXOSIP_CALL_RINGING);
  ASSERT_TRUE(ringing);
  EXPECT_EQ(ringing->cid, cid);
  EXPECT_GT(ringing->did, 0);

  MessagePtr answer;
  ASSERT_EQ(bob_.ua().CallBuildAnswer(incoming->tid, 200, &answer), 0);
  SetSdp(answer.get(), kAnswer);
  ASSERT_EQ(bob_.ua().CallSendAnswer(incoming->tid, 200, std::move(answer)), 0);

  EventPtr answered = alice_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  EXPECT_EQ(answered->cid, cid);
  EXPECT_EQ(answered->did, ringing->did);  // the early dialog became the confirmed one
  ASSERT_TRUE(answered->response);
  EXPECT_EQ(answered->response->status_code, 200);

  SdpPtr remote = alice_.ua().GetRemoteSdp(answered->did);
  ASSERT_TRUE(remote);
  sdp_media_t* audio = GetAudioMedia(remote.get());
  ASSERT_NE(audio, nullptr);
  EXPECT_STREQ(audio->m_port, "12000");
  SdpPtr local = alice_.ua().GetLocalSdp(answered->did);
  ASSERT_TRUE(local);
  EXPECT_STREQ(GetAudioMedia(local.get())->m_port, "10000");

  MessagePtr ack;
  ASSERT_EQ(alice_.ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(alice_.ua().CallSendAck(answered->did, std::move(ack)), 0);

  EventPtr acked = bob_.WaitFor(EXOSIP_CALL_ACK);
  ASSERT_TRUE(acked);
  EXPECT_EQ(acked->cid, incoming->cid);
  EXPECT_EQ(acked->did, incoming->did);
  ASSERT_TRUE(acked->ack);
  SdpPtr offer = bob_.ua().GetRemoteSdp(acked->did);
  ASSERT_TRUE(offer);
  sdp_connection_t* connection = GetAudioConnection(offer.get());
  ASSERT_NE(connection, nullptr);
  EXPECT_STREQ(connection->c_addr, "127.0.0.1");

  // A terminate after the application's own BYE sends no second one. Under the lock, as the
  // application does it: otherwise bob's 200 could end the call before the terminate.
  MessagePtr bye;
  alice_.ua().Lock();
  EXPECT_EQ(alice_.ua().CallBuildRequest(answered->did, "BYE", &bye), 0);
  EXPECT_EQ(alice_.ua().CallSendRequest(answered->did, std::move(bye)), 0);
  EXPECT_EQ(alice_.ua().CallTerminate(cid, answered->did), 0);
  alice_.ua().Unlock();

  EventPtr closed = bob_.WaitFor(EXOSIP_CALL_CLOSED);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->cid, incoming->cid);
  EXPECT_TRUE(bob_.WaitFor(EXOSIP_CALL_RELEASED));
  EventPtr released = alice_.WaitFor(EXOSIP_CALL_RELEASED);
  ASSERT_TRUE(released);
  EXPECT_EQ(released->cid, cid);
  EXPECT_EQ(alice_.ua().CallCount(), 0u);
  EXPECT_EQ(bob_.ua().CallCount(), 0u);
  // Only the one BYE: bob saw no second request inside the call.
  for (int type : bob_.Drain(300))
    EXPECT_NE(type, EXOSIP_MESSAGE_NEW);
}

// Answers the INVITE bob received with 200 and an SDP body.
void AnswerOk(UaPeer& callee, const Event& invite) {
  MessagePtr answer;
  ASSERT_EQ(callee.ua().CallBuildAnswer(invite.tid, 200, &answer), 0);
  SetSdp(answer.get(), kAnswer);
  ASSERT_EQ(callee.ua().CallSendAnswer(invite.tid, 200, std::move(answer)), 0);
}

void Acknowledge(UaPeer& caller, const Event& answered) {
  MessagePtr ack;
  ASSERT_EQ(caller.ua().CallBuildAck(answered.did, &ack), 0);
  ASSERT_EQ(caller.ua().CallSendAck(answered.did, std::move(ack)), 0);
}

TEST_F(UaCallTest, TerminatingAnUnansweredIncomingCallDeclinesIt) {
  const int cid = PlaceCall(alice_, bob_);
  ASSERT_GT(cid, 0);
  EventPtr incoming = bob_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(incoming);
  ASSERT_EQ(bob_.ua().CallTerminate(incoming->cid, incoming->did), 0);
  EventPtr declined = alice_.WaitFor(EXOSIP_CALL_GLOBALFAILURE);
  ASSERT_TRUE(declined);
  EXPECT_EQ(declined->response->status_code, 603);
  EXPECT_TRUE(alice_.WaitFor(EXOSIP_CALL_RELEASED));
  EXPECT_TRUE(bob_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaCallTest, TheCalleeWaitsForTheAckBeforeItsBye) {
  const int cid = PlaceCall(alice_, bob_);
  ASSERT_GT(cid, 0);
  EventPtr incoming = bob_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(incoming);
  AnswerOk(bob_, *incoming);
  EventPtr answered = alice_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  // Bob hangs up before alice's ACK: RFC 3261 15 keeps his BYE until the ACK.
  ASSERT_EQ(bob_.ua().CallTerminate(incoming->cid, incoming->did), 0);
  EXPECT_FALSE(alice_.WaitFor(EXOSIP_CALL_CLOSED, 700));
  Acknowledge(alice_, *answered);
  EventPtr closed = alice_.WaitFor(EXOSIP_CALL_CLOSED);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->cid, cid);
  EXPECT_TRUE(bob_.WaitFor(EXOSIP_CALL_RELEASED));
  EXPECT_TRUE(alice_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaCallTest, RequestsInsideTheCallAreAnswered) {
  const int cid = PlaceCall(alice_, bob_);
  ASSERT_GT(cid, 0);
  EventPtr incoming = bob_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(incoming);
  AnswerOk(bob_, *incoming);
  EventPtr answered = alice_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  Acknowledge(alice_, *answered);
  ASSERT_TRUE(bob_.WaitFor(EXOSIP_CALL_ACK));

  MessagePtr info;
  ASSERT_EQ(alice_.ua().CallBuildRequest(answered->did, "INFO", &info), 0);
  ASSERT_NE(info->cseq, nullptr);
  EXPECT_STREQ(info->cseq->number, "21");  // the INVITE had 20
  ASSERT_EQ(alice_.ua().CallSendRequest(answered->did, std::move(info)), 0);
  EventPtr received = bob_.WaitFor(EXOSIP_CALL_MESSAGE_NEW);
  ASSERT_TRUE(received);
  EXPECT_EQ(received->did, incoming->did);
  EventPtr reply = alice_.WaitFor(EXOSIP_CALL_MESSAGE_ANSWERED);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->did, answered->did);
  EXPECT_EQ(reply->response->status_code, 200);
  // The callee ends it: his BYE uses his own CSeq space.
  ASSERT_EQ(bob_.ua().CallTerminate(incoming->cid, 0), 0);
  EXPECT_TRUE(alice_.WaitFor(EXOSIP_CALL_CLOSED));
  // Both dialogs are gone once released.
  EXPECT_TRUE(alice_.WaitFor(EXOSIP_CALL_RELEASED));
  EXPECT_TRUE(bob_.WaitFor(EXOSIP_CALL_RELEASED));
  EXPECT_EQ(alice_.ua().DialogCount(), 0u);
  EXPECT_EQ(bob_.ua().DialogCount(), 0u);
}

}  // namespace
}  // namespace corvel
