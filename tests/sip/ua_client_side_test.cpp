// The core as the calling and registering side, against a hand-written peer: failure answers
// acknowledged by the transaction, CANCEL, ACK repeated for a repeated 2xx, registrations,
// the masquerade of Via and Contact, and the direct send.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "sip/raw_peer.h"
#include "sip/ua/user_agent.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::AnswerTo;
using testing::HeaderValue;
using testing::RawPeer;
using testing::StatusOf;
using testing::UaPeer;
using namespace corvel::ua;

std::string BranchOf(const std::string& via) {
  const std::size_t at = via.find("branch=");
  if (at == std::string::npos) return {};
  return via.substr(at + 7, via.find_first_of(";, ", at + 7) - at - 7);
}

std::string ContactOf(int port) {
  return "Contact: <sip:3003@127.0.0.1:" + std::to_string(port) + ">\r\n";
}

class UaClientSideTest : public ::testing::Test {
 protected:
  UaPeer core_{"1001"};
  RawPeer peer_;

  void SetUp() override {
    ASSERT_TRUE(core_.ok());
    ASSERT_TRUE(peer_.ok());
  }

  std::string PeerUri() { return "sip:3003@127.0.0.1:" + std::to_string(peer_.port()); }

  // Sends an INVITE to the peer; its cid, and what the peer received.
  int Call(std::string* invite) {
    MessagePtr message;
    EXPECT_EQ(core_.ua().CallBuildInitialInvite(&message, PeerUri().c_str(), core_.uri().c_str(),
                                                nullptr, "SipPhone"),
              0);
    const int cid = core_.ua().CallSendInitialInvite(std::move(message));
    std::optional<std::string> received = peer_.ReceiveStarting("INVITE ", 2000);
    EXPECT_TRUE(received);
    if (received) *invite = *received;
    return cid;
  }

  void Answer(const std::string& request, int status, const std::string& reason,
              const std::string& extra = "") {
    ASSERT_TRUE(peer_.SendRaw(AnswerTo(request, status, reason, "callee1", extra), core_.port()));
  }
};

TEST_F(UaClientSideTest, TheInviteCarriesTheCoreHeaders) {
  std::string invite;
  ASSERT_GT(Call(&invite), 0);
  EXPECT_EQ(invite.rfind("INVITE " + PeerUri() + " SIP/2.0", 0), 0u);
  const std::string via = HeaderValue(invite, "Via");
  EXPECT_NE(via.find("SIP/2.0/UDP 127.0.0.1:" + std::to_string(core_.port())), std::string::npos);
  EXPECT_NE(via.find(";rport"), std::string::npos);
  EXPECT_EQ(BranchOf(via).rfind("z9hG4bK", 0), 0u);
  EXPECT_NE(
      HeaderValue(invite, "Contact").find("sip:1001@127.0.0.1:" + std::to_string(core_.port())),
      std::string::npos);
  EXPECT_EQ(HeaderValue(invite, "User-Agent").rfind("Corvel/", 0), 0u);
  EXPECT_EQ(HeaderValue(invite, "Subject"), "SipPhone");
  EXPECT_EQ(HeaderValue(invite, "Max-Forwards"), "70");
  EXPECT_NE(HeaderValue(invite, "From").find("tag="), std::string::npos);
  EXPECT_EQ(HeaderValue(invite, "To").find("tag="), std::string::npos);
}

TEST_F(UaClientSideTest, MasqueradeSetsTheHostOfViaAndContact) {
  core_.ua().MasqueradeContact("10.20.30.40", 5999);
  std::string invite;
  ASSERT_GT(Call(&invite), 0);
  EXPECT_NE(HeaderValue(invite, "Via").find("SIP/2.0/UDP 10.20.30.40:5999"), std::string::npos);
  EXPECT_NE(HeaderValue(invite, "Contact").find("@10.20.30.40:5999"), std::string::npos);
  EXPECT_NE(HeaderValue(invite, "Call-ID").find("@10.20.30.40"), std::string::npos);
}

struct FailureCase {
  int status;
  const char* reason;
  EventType event;
};

class UaFailureTest : public UaClientSideTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UaFailureTest, FinalFailuresAreAcknowledgedByTheTransaction) {
  const FailureCase& c = GetParam();
  std::string invite;
  const int cid = Call(&invite);
  ASSERT_GT(cid, 0);
  Answer(invite, 100, "Trying");
  Answer(invite, c.status, c.reason);
  std::optional<std::string> ack = peer_.ReceiveStarting("ACK ", 2000);
  ASSERT_TRUE(ack);
  // RFC 3261 17.1.1.3: same branch as the INVITE, CSeq method ACK, the answer's To tag.
  EXPECT_EQ(BranchOf(HeaderValue(*ack, "Via")), BranchOf(HeaderValue(invite, "Via")));
  EXPECT_EQ(HeaderValue(*ack, "CSeq"), "20 ACK");
  EXPECT_NE(HeaderValue(*ack, "To").find("tag=callee1"), std::string::npos);
  EventPtr failure = core_.WaitFor(c.event);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->cid, cid);
  ASSERT_TRUE(failure->response);
  EXPECT_EQ(failure->response->status_code, c.status);
  EventPtr released = core_.WaitFor(EXOSIP_CALL_RELEASED);
  ASSERT_TRUE(released);
  EXPECT_EQ(released->cid, cid);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UaFailureTest,
    ::testing::Values(FailureCase{486, "Busy Here", EXOSIP_CALL_REQUESTFAILURE},
                      FailureCase{404, "Not Found", EXOSIP_CALL_REQUESTFAILURE},
                      FailureCase{302, "Moved Temporarily", EXOSIP_CALL_REDIRECTED},
                      FailureCase{503, "Service Unavailable", EXOSIP_CALL_SERVERFAILURE},
                      FailureCase{603, "Decline", EXOSIP_CALL_GLOBALFAILURE}));

TEST_F(UaClientSideTest, TerminateCancelsAnUnansweredInvite) {
  std::string invite;
  const int cid = Call(&invite);
  ASSERT_GT(cid, 0);
  Answer(invite, 180, "Ringing", ContactOf(peer_.port()));
  ASSERT_TRUE(core_.WaitFor(EXOSIP_CALL_RINGING));
  ASSERT_EQ(core_.ua().CallTerminate(cid, 0), 0);
  std::optional<std::string> cancel = peer_.ReceiveStarting("CANCEL ", 2000);
  ASSERT_TRUE(cancel);
  // RFC 3261 9.1: Request-URI, Call-ID, From, CSeq number and top Via of the INVITE, no To tag.
  EXPECT_EQ(cancel->substr(0, cancel->find(' ', 7)), "CANCEL " + PeerUri());
  EXPECT_EQ(HeaderValue(*cancel, "Call-ID"), HeaderValue(invite, "Call-ID"));
  EXPECT_EQ(HeaderValue(*cancel, "From"), HeaderValue(invite, "From"));
  EXPECT_EQ(HeaderValue(*cancel, "To").find("tag="), std::string::npos);
  EXPECT_EQ(HeaderValue(*cancel, "CSeq"), "20 CANCEL");
  EXPECT_EQ(BranchOf(HeaderValue(*cancel, "Via")), BranchOf(HeaderValue(invite, "Via")));
  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*cancel, 200, "OK", "callee1"), core_.port()));
  Answer(invite, 487, "Request Terminated");
  ASSERT_TRUE(peer_.ReceiveStarting("ACK ", 2000));
  EventPtr failure = core_.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->response->status_code, 487);
  EXPECT_TRUE(core_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaClientSideTest, ACancelWaitsForTheFirstProvisionalAnswer) {
  std::string invite;
  const int cid = Call(&invite);
  ASSERT_GT(cid, 0);
  ASSERT_EQ(core_.ua().CallTerminate(cid, 0), 0);
  // Only retransmissions of the INVITE until a provisional answer allows the CANCEL.
  EXPECT_FALSE(peer_.ReceiveStarting("CANCEL ", 800));
  Answer(invite, 100, "Trying");
  std::optional<std::string> cancel = peer_.ReceiveStarting("CANCEL ", 2000);
  ASSERT_TRUE(cancel);
  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*cancel, 200, "OK", "callee1"), core_.port()));
  Answer(invite, 487, "Request Terminated");
  EXPECT_TRUE(core_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaClientSideTest, ARepeatedTwoHundredIsAcknowledgedAgain) {
  std::string invite;
  const int cid = Call(&invite);
  ASSERT_GT(cid, 0);
  const std::string contact = ContactOf(peer_.port());
  Answer(invite, 200, "OK", contact);
  EventPtr answered = core_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  MessagePtr ack;
  ASSERT_EQ(core_.ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(core_.ua().CallSendAck(answered->did, std::move(ack)), 0);
  std::optional<std::string> first = peer_.ReceiveStarting("ACK ", 2000);
  ASSERT_TRUE(first);
  // An ACK for a 2xx goes to the remote target, in a transaction of its own.
  EXPECT_EQ(first->rfind("ACK sip:3003@127.0.0.1:" + std::to_string(peer_.port()), 0), 0u);
  EXPECT_NE(BranchOf(HeaderValue(*first, "Via")), BranchOf(HeaderValue(invite, "Via")));
  EXPECT_EQ(HeaderValue(*first, "CSeq"), "20 ACK");
  Answer(invite, 200, "OK", contact);
  std::optional<std::string> again = peer_.ReceiveStarting("ACK ", 2000);
  ASSERT_TRUE(again);
  EXPECT_EQ(*again, *first);
  // BYE from the callee ends it.
  const std::string bye =
      "BYE sip:1001@127.0.0.1:" + std::to_string(core_.port()) + " SIP/2.0\r\n" +
      "Via: SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer_.port()) + ";branch=z9hG4bKbye1\r\n" +
      "From: " + HeaderValue(invite, "To") + ";tag=callee1\r\n" +
      "To: " + HeaderValue(invite, "From") + "\r\n" + "Call-ID: " + HeaderValue(invite, "Call-ID") +
      "\r\n" + "CSeq: 1 BYE\r\nContent-Length: 0\r\n\r\n";
  ASSERT_TRUE(peer_.SendRaw(bye, core_.port()));
  std::optional<std::string> ok = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  ASSERT_TRUE(ok);
  EXPECT_EQ(StatusOf(*ok), 200);
  EventPtr closed = core_.WaitFor(EXOSIP_CALL_CLOSED);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->cid, cid);
  EXPECT_EQ(closed->did, answered->did);
  EXPECT_TRUE(core_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaClientSideTest, QuitStillSendsTheLastQueuedBye) {
  std::string invite;
  const int cid = Call(&invite);
  ASSERT_GT(cid, 0);
  Answer(invite, 200, "OK", ContactOf(peer_.port()));
  EventPtr answered = core_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  core_.ua().Lock();
  MessagePtr ack;
  ASSERT_EQ(core_.ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(core_.ua().CallSendAck(answered->did, std::move(ack)), 0);
  ASSERT_EQ(core_.ua().CallTerminate(cid, answered->did), 0);
  core_.ua().Unlock();
  core_.ua().Quit();
  EXPECT_TRUE(peer_.ReceiveStarting("BYE ", 2000));
  EXPECT_FALSE(core_.ua().initialized());
  EXPECT_EQ(core_.ua().TransactionCount(), 0u);
}

// --- registrations ---

class UaRegisterTest : public UaClientSideTest {
 protected:
  std::string Registrar() { return "sip:1001@127.0.0.1:" + std::to_string(peer_.port()); }

  int Build(int expires, MessagePtr* message) {
    return core_.ua().RegisterBuildInitialRegister(core_.uri().c_str(), Registrar().c_str(),
                                                   nullptr, expires, message);
  }
};

TEST_F(UaRegisterTest, RefreshesKeepTheRegistrationAndCallId) {
  MessagePtr first;
  const int rid = Build(600, &first);
  ASSERT_GT(rid, 0);
  ASSERT_EQ(core_.ua().RegisterSendRegister(rid, std::move(first)), 0);
  std::optional<std::string> one = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->rfind("REGISTER " + Registrar() + " SIP/2.0", 0), 0u);
  EXPECT_EQ(HeaderValue(*one, "Expires"), "600");
  EXPECT_NE(HeaderValue(*one, "To").find(core_.uri()), std::string::npos);
  EXPECT_NE(HeaderValue(*one, "Contact").find("sip:1001@127.0.0.1"), std::string::npos);

  // While the first is unanswered no second REGISTER may start (RFC 3261 10.2).
  MessagePtr early;
  EXPECT_EQ(Build(600, &early), OSIP_WRONG_STATE);

  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*one, 200, "OK", "reg1"), core_.port()));
  EventPtr success = core_.WaitFor(EXOSIP_REGISTRATION_SUCCESS);
  ASSERT_TRUE(success);
  EXPECT_EQ(success->rid, rid);
  EXPECT_GT(success->tid, 0);

  MessagePtr second;
  ASSERT_EQ(Build(800, &second), rid);
  ASSERT_EQ(core_.ua().RegisterSendRegister(rid, std::move(second)), 0);
  std::optional<std::string> two = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(two);
  EXPECT_EQ(HeaderValue(*two, "Call-ID"), HeaderValue(*one, "Call-ID"));
  EXPECT_EQ(HeaderValue(*two, "CSeq"), "2 REGISTER");
  EXPECT_EQ(HeaderValue(*two, "Expires"), "800");
  EXPECT_EQ(core_.ua().RegistrationCount(), 1u);
}

TEST_F(UaRegisterTest, DirectUnregistrationLeavesNoTransaction) {
  MessagePtr first;
  const int rid = Build(600, &first);
  ASSERT_GT(rid, 0);
  ASSERT_EQ(core_.ua().RegisterSendRegister(rid, std::move(first)), 0);
  std::optional<std::string> one = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(one);
  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*one, 200, "OK", "reg1"), core_.port()));
  ASSERT_TRUE(core_.WaitFor(EXOSIP_REGISTRATION_SUCCESS));
  // The answered REGISTER's transaction lingers (RFC 3261 Timer K) but counts as finished.
  const std::size_t before = core_.ua().TransactionCount();

  MessagePtr zero;
  ASSERT_EQ(Build(0, &zero), rid);
  const int sent = core_.ua().SendDirect(std::move(zero), "127.0.0.1", peer_.port());
  EXPECT_GT(sent, 0);
  std::optional<std::string> bye = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(bye);
  EXPECT_EQ(HeaderValue(*bye, "Expires"), "0");
  EXPECT_EQ(HeaderValue(*bye, "CSeq"), "2 REGISTER");
  EXPECT_EQ(core_.ua().TransactionCount(), before);
  // Sent once: no transaction repeats it.
  EXPECT_FALSE(peer_.ReceiveStarting("REGISTER ", 1200));
}

struct RegisterAnswerCase {
  int status;
  const char* reason;
  EventType event;
};

class UaRegisterAnswerTest : public UaRegisterTest,
                             public ::testing::WithParamInterface<RegisterAnswerCase> {};

TEST_P(UaRegisterAnswerTest, AnswersBecomeRegistrationEvents) {
  const RegisterAnswerCase& c = GetParam();
  MessagePtr message;
  const int rid = Build(600, &message);
  ASSERT_GT(rid, 0);
  ASSERT_EQ(core_.ua().RegisterSendRegister(rid, std::move(message)), 0);
  std::optional<std::string> request = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(request);
  std::string extra;
  if (c.status == 401) extra = "WWW-Authenticate: Digest realm=\"x\", nonce=\"1\"\r\n";
  if (c.status == 407) extra = "Proxy-Authenticate: Digest realm=\"x\", nonce=\"1\"\r\n";
  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*request, c.status, c.reason, "reg1", extra), core_.port()));
  EventPtr event = core_.WaitFor(c.event);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->rid, rid);
  ASSERT_TRUE(event->response);
  EXPECT_EQ(event->response->status_code, c.status);
  // No second REGISTER with credentials follows.
  EXPECT_FALSE(peer_.ReceiveStarting("REGISTER ", 700));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UaRegisterAnswerTest,
    ::testing::Values(RegisterAnswerCase{200, "OK", EXOSIP_REGISTRATION_SUCCESS},
                      RegisterAnswerCase{202, "Accepted", EXOSIP_REGISTRATION_SUCCESS},
                      RegisterAnswerCase{401, "Unauthorized", EXOSIP_REGISTRATION_FAILURE},
                      RegisterAnswerCase{407, "Proxy Authentication Required",
                                         EXOSIP_REGISTRATION_FAILURE},
                      RegisterAnswerCase{403, "Forbidden", EXOSIP_REGISTRATION_FAILURE},
                      RegisterAnswerCase{503, "Service Unavailable", EXOSIP_REGISTRATION_FAILURE}));

TEST_F(UaRegisterTest, ARemovedRegistrationReportsNothing) {
  MessagePtr message;
  const int rid = Build(600, &message);
  ASSERT_GT(rid, 0);
  ASSERT_EQ(core_.ua().RegisterSendRegister(rid, std::move(message)), 0);
  std::optional<std::string> request = peer_.ReceiveStarting("REGISTER ", 2000);
  ASSERT_TRUE(request);
  ASSERT_EQ(core_.ua().RegisterRemove(rid), 0);
  EXPECT_EQ(core_.ua().RegisterRemove(rid), OSIP_NOTFOUND);
  ASSERT_TRUE(peer_.SendRaw(AnswerTo(*request, 200, "OK", "reg1"), core_.port()));
  EXPECT_FALSE(core_.WaitFor(EXOSIP_REGISTRATION_SUCCESS, 600));
}

TEST_F(UaRegisterTest, BadArgumentsAreRefused) {
  MessagePtr message;
  EXPECT_EQ(
      core_.ua().RegisterBuildInitialRegister(nullptr, "sip:x@127.0.0.1", nullptr, 60, &message),
      OSIP_BADPARAMETER);
  EXPECT_EQ(core_.ua().RegisterBuildInitialRegister("sip:a@127.0.0.1", "not a uri", nullptr, 60,
                                                    &message),
            OSIP_BADPARAMETER);
  EXPECT_EQ(core_.ua().RegisterSendRegister(99, nullptr), OSIP_NOTFOUND);
  EXPECT_EQ(core_.ua().CallTerminate(0, 0), OSIP_BADPARAMETER);
  EXPECT_EQ(core_.ua().CallTerminate(42, 0), OSIP_NOTFOUND);
  EXPECT_EQ(core_.ua().CallSendAnswer(42, 200, nullptr), OSIP_NOTFOUND);
  EXPECT_EQ(core_.ua().CallBuildRequest(42, "BYE", &message), OSIP_NOTFOUND);
  EXPECT_FALSE(message);
}

}  // namespace
}  // namespace corvel
