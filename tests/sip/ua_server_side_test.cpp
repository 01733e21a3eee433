// The core as the answering side, against a hand-written peer: 2xx retransmission until ACK,
// the ACK time-out, CANCEL, stray BYE, OPTIONS, requests inside a call and the 101 option.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "sip/raw_peer.h"
#include "sip/ua/user_agent.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::HeaderValue;
using testing::RawPeer;
using testing::StatusOf;
using testing::UaPeer;
using namespace corvel::ua;

constexpr const char* kInvite =
    "INVITE sip:2002@127.0.0.1:{core} SIP/2.0\n"
    "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bK{branch};rport\n"
    "From: <sip:1001@127.0.0.1:{me}>;tag=ftag{id}\n"
    "To: <sip:2002@127.0.0.1:{core}>\n"
    "Call-ID: call{id}@127.0.0.1\n"
    "CSeq: 1 INVITE\n"
    "Contact: <sip:1001@127.0.0.1:{me}>\n"
    "Max-Forwards: 70\n"
    "Content-Length: 0\n\n";

constexpr const char* kInDialog =
    "{method} sip:2002@127.0.0.1:{core} SIP/2.0\n"
    "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bK{branch};rport\n"
    "From: <sip:1001@127.0.0.1:{me}>;tag=ftag{id}\n"
    "To: <sip:2002@127.0.0.1:{core}>;tag={ttag}\n"
    "Call-ID: call{id}@127.0.0.1\n"
    "CSeq: {cseq} {method}\n"
    "Contact: <sip:1001@127.0.0.1:{me}>\n"
    "Max-Forwards: 70\n"
    "Content-Length: 0\n\n";

std::string TagOf(const std::string& header) {
  const std::size_t at = header.find("tag=");
  if (at == std::string::npos) return {};
  return header.substr(at + 4, header.find_first_of(";> ", at + 4) - at - 4);
}

class UaServerSideTest : public ::testing::Test {
 protected:
  UaPeer core_{"2002"};
  RawPeer peer_;
  std::map<std::string, std::string> vars_;

  void SetUp() override {
    ASSERT_TRUE(core_.ok());
    ASSERT_TRUE(peer_.ok());
    vars_ = {{"core", std::to_string(core_.port())},
             {"me", std::to_string(peer_.port())},
             {"branch", "inv1"},
             {"id", "1"},
             {"cseq", "1"}};
  }

  void Send(const char* text, std::map<std::string, std::string> extra = {}) {
    std::map<std::string, std::string> vars = vars_;
    for (auto& [key, value] : extra)
      vars[key] = value;
    ASSERT_TRUE(peer_.Send(text, core_.port(), vars));
  }

  // Sends the INVITE and answers it with status from the application side.
  EventPtr IncomingCall() {
    Send(kInvite);
    return core_.WaitFor(EXOSIP_CALL_INVITE);
  }
};

TEST_F(UaServerSideTest, TwoHundredIsRepeatedUntilTheAck) {
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  ASSERT_EQ(core_.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);

  // The first 200 and its repetitions after 0.5 s and 1.5 s (RFC 3261 13.3.1.4: T1, doubling).
  std::string ttag;
  for (int copy = 0; copy < 3; ++copy) {
    std::optional<std::string> ok = peer_.ReceiveStarting("SIP/2.0 200", 2500);
    ASSERT_TRUE(ok) << "copy " << copy;
    ttag = TagOf(HeaderValue(*ok, "To"));
  }
  ASSERT_FALSE(ttag.empty());
  Send(kInDialog, {{"method", "ACK"}, {"branch", "ack1"}, {"ttag", ttag}});
  EventPtr ack = core_.WaitFor(EXOSIP_CALL_ACK);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->cid, invite->cid);
  EXPECT_EQ(ack->did, invite->did);
  EXPECT_EQ(ack->sourcePort, peer_.port());
  // The next repetition was due 2 s after the last one: none comes.
  EXPECT_FALSE(peer_.ReceiveStarting("SIP/2.0 200", 2500));
}

// A "tag" without a value in From or To cannot name a dialog; such requests are dropped
// before they reach osip's dialog matching, which would read the missing value.
TEST_F(UaServerSideTest, RequestsWithATagWithoutValueAreDroppedAndTheCallGoesOn) {
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  ASSERT_EQ(core_.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);
  std::optional<std::string> ok = peer_.ReceiveStarting("SIP/2.0 200", 2500);
  ASSERT_TRUE(ok);
  const std::string ttag = TagOf(HeaderValue(*ok, "To"));
  std::string bareFromTag = kInDialog;
  bareFromTag.replace(bareFromTag.find(";tag=ftag{id}"), 13, ";tag");
  std::string bareToTag = kInDialog;
  bareToTag.replace(bareToTag.find(";tag={ttag}"), 11, ";tag");
  for (const std::string& text : {bareFromTag, bareToTag}) {
    for (const char* method : {"ACK", "BYE", "INFO"}) {
      Send(text.c_str(), {{"method", method},
                          {"branch", std::string("bare") + method},
                          {"ttag", ttag},
                          {"cseq", "2"}});
    }
  }
  EXPECT_FALSE(core_.WaitFor(EXOSIP_CALL_ACK, 600)) << "a bare tag acknowledged the call";
  // Only the INVITE's 200 comes again (it is repeated until the ACK); nothing else is answered.
  while (std::optional<std::string> answer = peer_.ReceiveStarting("SIP/2.0 ", 300)) {
    EXPECT_EQ(HeaderValue(*answer, "CSeq"), "1 INVITE") << "a bare tag was answered";
  }
  Send(kInDialog, {{"method", "ACK"}, {"branch", "ack1"}, {"ttag", ttag}});
  EventPtr ack = core_.WaitFor(EXOSIP_CALL_ACK);
  ASSERT_TRUE(ack);
  EXPECT_EQ(ack->did, invite->did);
}

TEST_F(UaServerSideTest, AnUnacknowledgedAnswerEndsWithBye) {
  ASSERT_EQ(core_.ua().SetOption(Option::kAckWaitMs, 1200), 0);
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  ASSERT_EQ(core_.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);
  std::optional<std::string> bye = peer_.ReceiveStarting("BYE ", 4000);
  ASSERT_TRUE(bye);
  EXPECT_EQ(TagOf(HeaderValue(*bye, "To")), "ftag1");
  EXPECT_NE(HeaderValue(*bye, "CSeq").find("BYE"), std::string::npos);
  // The BYE goes to the INVITE's Contact.
  EXPECT_EQ(bye->rfind("BYE sip:1001@127.0.0.1:" + std::to_string(peer_.port()), 0), 0u);
  ASSERT_TRUE(peer_.SendRaw(testing::AnswerTo(*bye, 200, "OK"), core_.port()));
  EventPtr released = core_.WaitFor(EXOSIP_CALL_RELEASED, 8000);
  EXPECT_TRUE(released);
}

TEST_F(UaServerSideTest, CancelOfAnUnansweredInvite) {
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  ASSERT_EQ(core_.ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
  std::optional<std::string> ringing = peer_.ReceiveStarting("SIP/2.0 180", 2000);
  ASSERT_TRUE(ringing);
  Send(
      "CANCEL sip:2002@127.0.0.1:{core} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bK{branch};rport\n"
      "From: <sip:1001@127.0.0.1:{me}>;tag=ftag{id}\n"
      "To: <sip:2002@127.0.0.1:{core}>\n"
      "Call-ID: call{id}@127.0.0.1\n"
      "CSeq: 1 CANCEL\n"
      "Max-Forwards: 70\n"
      "Content-Length: 0\n\n");
  std::optional<std::string> first = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  std::optional<std::string> second = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  ASSERT_TRUE(first && second);
  std::map<std::string, int> byMethod;
  for (const std::string* answer : {&*first, &*second}) {
    byMethod[HeaderValue(*answer, "CSeq")] = StatusOf(*answer);
  }
  EXPECT_EQ(byMethod["1 CANCEL"], 200);
  EXPECT_EQ(byMethod["1 INVITE"], 487);
  EventPtr cancelled = core_.WaitFor(EXOSIP_CALL_CANCELLED);
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(cancelled->cid, invite->cid);
  EXPECT_EQ(cancelled->tid, invite->tid);
  // The application's answer now comes too late.
  EXPECT_NE(core_.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);
  EXPECT_TRUE(core_.WaitFor(EXOSIP_CALL_RELEASED));
}

TEST_F(UaServerSideTest, StrayByeGets481AndAnOutOfDialogEvent) {
  Send(kInDialog, {{"method", "BYE"}, {"ttag", "nosuchtag"}, {"id", "77"}, {"branch", "b77"}});
  std::optional<std::string> answer = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(StatusOf(*answer), 481);
  EventPtr event = core_.WaitFor(EXOSIP_MESSAGE_NEW);
  ASSERT_TRUE(event);
  ASSERT_TRUE(event->request);
  EXPECT_STREQ(event->request->sip_method, "BYE");
  EXPECT_EQ(event->cid, 0);
  EXPECT_EQ(event->did, 0);
  EXPECT_GT(event->tid, 0);
}

TEST_F(UaServerSideTest, OptionsOutsideACallIsAnswered) {
  Send(
      "OPTIONS sip:2002@127.0.0.1:{core} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKopt;rport\n"
      "From: <sip:probe@127.0.0.1:{me}>;tag=p1\n"
      "To: <sip:2002@127.0.0.1:{core}>\n"
      "Call-ID: opt1@127.0.0.1\n"
      "CSeq: 7 OPTIONS\n"
      "Max-Forwards: 70\n"
      "Content-Length: 0\n\n");
  std::optional<std::string> answer = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(StatusOf(*answer), 200);
  EXPECT_NE(HeaderValue(*answer, "Allow").find("INVITE"), std::string::npos);
  EXPECT_FALSE(TagOf(HeaderValue(*answer, "To")).empty());
  EXPECT_EQ(HeaderValue(*answer, "CSeq"), "7 OPTIONS");
  // received/rport: the answer came back to the port the request came from.
  EXPECT_NE(HeaderValue(*answer, "Via").find("rport=" + std::to_string(peer_.port())),
            std::string::npos);
}

struct InDialogCase {
  const char* method;
  int status;
  EventType event;
};

class UaInDialogTest : public UaServerSideTest,
                       public ::testing::WithParamInterface<InDialogCase> {};

TEST_P(UaInDialogTest, RequestsInsideAConfirmedCall) {
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  ASSERT_EQ(core_.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);
  std::optional<std::string> ok = peer_.ReceiveStarting("SIP/2.0 200", 2000);
  ASSERT_TRUE(ok);
  const std::string ttag = TagOf(HeaderValue(*ok, "To"));
  Send(kInDialog, {{"method", "ACK"}, {"branch", "ack1"}, {"ttag", ttag}});
  ASSERT_TRUE(core_.WaitFor(EXOSIP_CALL_ACK));

  const InDialogCase& c = GetParam();
  Send(kInDialog, {{"method", c.method}, {"branch", "req2"}, {"ttag", ttag}, {"cseq", "2"}});
  std::optional<std::string> answer = peer_.ReceiveStarting("SIP/2.0 ", 2000);
  ASSERT_TRUE(answer);
  EXPECT_EQ(StatusOf(*answer), c.status);
  EventPtr event = core_.WaitFor(c.event);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->cid, invite->cid);
  EXPECT_EQ(event->did, invite->did);
}

INSTANTIATE_TEST_SUITE_P(Methods, UaInDialogTest,
                         ::testing::Values(InDialogCase{"BYE", 200, EXOSIP_CALL_CLOSED},
                                           InDialogCase{"INFO", 200, EXOSIP_CALL_MESSAGE_NEW},
                                           InDialogCase{"OPTIONS", 200, EXOSIP_CALL_MESSAGE_NEW},
                                           InDialogCase{"NOTIFY", 405, EXOSIP_CALL_MESSAGE_NEW},
                                           InDialogCase{"INVITE", 488, EXOSIP_CALL_REINVITE}));

struct Option101Case {
  int dontSend101;
  bool expect101;
};

class UaOption101Test : public UaServerSideTest,
                        public ::testing::WithParamInterface<Option101Case> {};

TEST_P(UaOption101Test, A101OnlyWhenAsked) {
  ASSERT_EQ(core_.ua().SetOption(Option::kDontSend101, GetParam().dontSend101), 0);
  EventPtr invite = IncomingCall();
  ASSERT_TRUE(invite);
  std::optional<std::string> early = peer_.ReceiveStarting("SIP/2.0 ", 600);
  EXPECT_EQ(early.has_value(), GetParam().expect101);
  if (early) {
    EXPECT_EQ(StatusOf(*early), 101);
    EXPECT_FALSE(TagOf(HeaderValue(*early, "To")).empty());
  }
  core_.ua().CallSendAnswer(invite->tid, 486, nullptr);
  std::optional<std::string> busy = peer_.ReceiveStarting("SIP/2.0 486", 2000);
  ASSERT_TRUE(busy);
  if (early) {
    EXPECT_EQ(TagOf(HeaderValue(*busy, "To")), TagOf(HeaderValue(*early, "To")));
  }
}

INSTANTIATE_TEST_SUITE_P(Values, UaOption101Test,
                         ::testing::Values(Option101Case{1, false}, Option101Case{0, true}));

}  // namespace
}  // namespace corvel
