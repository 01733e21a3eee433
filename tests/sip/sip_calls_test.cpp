// The call side of the SIP endpoint against a user-agent core as the other party, over
// loopback: the SDP it writes and reads, the report sequences of each flow, the call table's
// match rule and the stale-call sweep.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "media/toolkit/tick.h"
#include "sip/raw_peer.h"
#include "sip/sip_server.h"
#include "sip/sip_test_support.h"
#include "sip/ua/sdp_access.h"
#include "sip/ua_peer.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::CountLinesStarting;
using testing::FreeUdpPort;
using testing::HasLine;
using testing::RecordingPoster;
using testing::TempFolder;
using testing::UaPeer;
using testing::WaitUntil;
using namespace corvel::ua;

// What the endpoint reads of the RTP server and what it sets there.
class RecordingMedia : public RtpMedia {
 public:
  std::string localHost() const override { return "127.0.0.1"; }
  uint16_t localPort() const override { return 40000; }
  bool natMode() const override { return nat; }
  std::string natHost() const override {
    std::lock_guard lock(mutex);
    return natAddress;
  }
  uint16_t natPort() const override { return natMapped; }
  CodecTable codecTable() const override {
    std::lock_guard lock(mutex);
    return codecs;
  }
  bool SetRemote(const char* hostText, uint16_t port) override {
    std::lock_guard lock(mutex);
    remote = std::string(hostText) + ":" + std::to_string(port);
    return true;
  }
  bool SetSendPayloadType(uint8_t payloadType) override {
    sendType = payloadType;
    return true;
  }
  void EndRTPSession() override { ++ended; }

  std::string Remote() const {
    std::lock_guard lock(mutex);
    return remote;
  }

  mutable std::mutex mutex;
  CodecTable codecs = DefaultCodecs();
  std::atomic<bool> nat{false};
  std::string natAddress;
  std::atomic<uint16_t> natMapped{0};
  std::string remote;
  std::atomic<int> sendType{-1};
  std::atomic<int> ended{0};

  static CodecTable DefaultCodecs() {
    CodecTable table;
    table.set(CodecSlot::kDtmf, true, 101);
    table.set(CodecSlot::kAmr, false, 98);
    table.set(CodecSlot::kG729, true, 18);
    table.set(CodecSlot::kPcma, true, 8);
    table.set(CodecSlot::kPcmu, true, 0);
    return table;
  }
};

// One report as the window saw it.
struct Seen {
  int state;
  int failed;
  int reason;
  uint32_t identify;
  std::string name;
  int outgoing;
};

std::string Sdp(const std::string& payloads, const std::string& maps, int port = 12000) {
  return "v=0\r\no=peer 0 0 IN IP4 127.0.0.1\r\ns=x\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
         "m=audio " +
         std::to_string(port) + " RTP/AVP " + payloads + "\r\n" + maps + "a=sendrecv\r\n";
}

void SetSdp(osip_message_t* message, const std::string& sdp) {
  ASSERT_EQ(osip_message_set_body(message, sdp.c_str(), sdp.size()), 0);
  ASSERT_EQ(osip_message_set_content_type(message, "application/sdp"), 0);
}

std::string BodyOf(const osip_message_t* message) {
  osip_body_t* body = nullptr;
  osip_message_get_body(message, 0, &body);
  return body != nullptr && body->body != nullptr ? std::string(body->body, body->length) : "";
}

class SipCallsTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  PhoneLog log_;
  RecordingMedia media_;
  RecordingPoster window_;
  SipServer server_{&media_, &log_, &window_};
  UaPeer peer_{"2002"};
  std::string logPath_;
  std::mutex seenMutex_;
  std::vector<Seen> seen_;
  std::atomic<int> reportResult_{0};

  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    logPath_ = folder_ / "SIPPhone.log";
    ASSERT_TRUE(log_.Open(logPath_));
    server_.SetReport([this](SipCall& call) {
      std::lock_guard lock(seenMutex_);
      seen_.push_back(
          {call.state, call.failed, call.reason, call.Identify, call.CallName, call.outgoing});
      return reportResult_.load();
    });
    ASSERT_TRUE(
        server_.CreateSIPServer("1001", "127.0.0.1", static_cast<uint16_t>(FreeUdpPort()), 30, 0));
    // The peer stands in for the proxy: calls go straight to it.
    ASSERT_TRUE(server_.SetProxy("127.0.0.1", static_cast<uint16_t>(peer_.port())));
  }

  void TearDown() override { server_.Delete(); }

  std::vector<Seen> Reports() {
    std::lock_guard lock(seenMutex_);
    return seen_;
  }
  std::vector<int> States() {
    std::vector<int> states;
    for (const Seen& seen : Reports())
      states.push_back(seen.state);
    return states;
  }
  bool WaitForState(int state, int timeoutMs = 5000) {
    return WaitUntil(
        [&] {
          for (const Seen& seen : Reports())
            if (seen.state == state) return true;
          return false;
        },
        timeoutMs);
  }

  bool Invite(const char* number, uint32_t conference = 0) {
    server_.Lock();
    const bool placed = server_.Invite(number, nullptr, conference);
    server_.Unlock();
    return placed;
  }
  bool Answer(uint32_t identify, int code) {
    server_.Lock();
    const bool answered = server_.Answer(identify, code);
    server_.Unlock();
    return answered;
  }
  bool HangUp(uint32_t identify) {
    server_.Lock();
    const bool ended = server_.HangUp(identify);
    server_.Unlock();
    return ended;
  }

  // The peer calls the endpoint with an offer; the INVITE's tid at the peer side is not needed.
  int PeerCalls(const std::string& offer, const char* conference = nullptr) {
    MessagePtr invite;
    const std::string to = "sip:1001@127.0.0.1:" + std::to_string(server_.localPort());
    EXPECT_EQ(peer_.ua().CallBuildInitialInvite(&invite, to.c_str(), peer_.uri().c_str(), nullptr,
                                                "test"),
              0);
    if (!invite) return -1;
    SetSdp(invite.get(), offer);
    if (conference != nullptr) osip_message_set_header(invite.get(), "Conference", conference);
    return peer_.ua().CallSendInitialInvite(std::move(invite));
  }

  // The peer answers an INVITE it received with status and, for a 2xx, sdp.
  void PeerAnswers(const Event& invite, int status, const std::string& sdp = {}) {
    MessagePtr answer;
    ASSERT_EQ(peer_.ua().CallBuildAnswer(invite.tid, status, &answer), 0);
    if (!sdp.empty()) SetSdp(answer.get(), sdp);
    ASSERT_EQ(peer_.ua().CallSendAnswer(invite.tid, status, std::move(answer)), 0);
  }
};

// --- the SDP offer ---

struct OfferCase {
  const char* name;
  CodecTable codecs;
  bool nat;
  const char* expected;
};

CodecTable Only(CodecSlot slot, uint8_t type) {
  CodecTable table;
  table.set(slot, true, type);
  return table;
}

TEST_F(SipCallsTest, OffersListTheEnabledFormatsInTheirFixedOrder) {
  CodecTable all = RecordingMedia::DefaultCodecs();
  all.set(CodecSlot::kAmr, true, 98);
  const OfferCase cases[] = {
      {"defaults", RecordingMedia::DefaultCodecs(), false,
       "v=0\r\no=1001 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
       "m=audio 40000 RTP/AVP 101 18 8 0\r\na=rtpmap:101 telephone-event/8000\r\n"
       "a=fmtp:101 0-15\r\na=rtpmap:18 G729/8000\r\na=rtpmap:8 PCMA/8000\r\n"
       "a=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n"},
      {"PCMU only", Only(CodecSlot::kPcmu, 0), false,
       "v=0\r\no=1001 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
       "m=audio 40000 RTP/AVP 0\r\na=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n"},
      {"everything, behind NAT", all, true,
       "v=0\r\no=1001 0 0 IN IP4 127.0.0.1\r\ns=Sip Call\r\nc=IN IP4 203.0.113.7\r\nt=0 0\r\n"
       "m=audio 31000 RTP/AVP 101 98 18 8 0\r\na=rtpmap:101 telephone-event/8000\r\n"
       "a=fmtp:101 0-15\r\na=rtpmap:98 AMR/8000\r\na=rtpmap:18 G729/8000\r\n"
       "a=rtpmap:8 PCMA/8000\r\na=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n"},
      {"DTMF on 96", Only(CodecSlot::kDtmf, 96), false, nullptr},
  };
  for (const OfferCase& c : cases) {
    {
      std::lock_guard lock(media_.mutex);
      media_.codecs = c.codecs;
      media_.natAddress = c.nat ? "203.0.113.7" : "";
    }
    media_.nat = c.nat;
    media_.natMapped = c.nat ? 31000 : 0;
    SipCall call;
    call.outgoing = 1;
    const std::optional<std::string> offer = server_.MakeSDPMessage(call, true);
    ASSERT_TRUE(offer) << c.name;
    if (c.expected != nullptr) {
      EXPECT_EQ(*offer, c.expected) << c.name;
    } else {
      EXPECT_NE(offer->find("m=audio 40000 RTP/AVP 96\r\na=rtpmap:96 telephone-event/8000\r\n"
                            "a=fmtp:96 0-15\r\n"),
                std::string::npos)
          << *offer;
    }
  }
  EXPECT_TRUE(HasLine(logPath_, "[MAKESDP] RTP Use NAT[203.0.113.7:31000]"));
}

TEST_F(SipCallsTest, WithoutTheNatAddressNoCallCanBePlacedOrAnswered) {
  media_.nat = true;
  EXPECT_FALSE(Invite("3003"));
  EXPECT_TRUE(HasLine(logPath_, "[MAKESDP] RTP NAT[:0] Has Not Get"));
  EXPECT_TRUE(HasLine(logPath_, "[INVITE] MakeSDPMessage ERROR"));
  EXPECT_EQ(server_.callCount(), 0);
  EXPECT_TRUE(Reports().empty());  // nothing was shown of a call that never left

  ASSERT_GT(PeerCalls(Sdp("0", "")), 0);
  ASSERT_TRUE(WaitForState(1));
  const uint32_t identify = Reports().front().identify;
  EXPECT_FALSE(Answer(identify, 200));
  EventPtr refused = peer_.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);
  EXPECT_TRUE(WaitForState(-1));
}

// --- the SDP answer ---

struct AnswerCase {
  const char* offer;   // payload list of the remote offer
  const char* answer;  // payload list of the answer, empty: refused with 400
  int chosen;          // the payload the RTP server sends
};

TEST_F(SipCallsTest, AnswersFollowTheOffersOrderUpToTheFirstMismatchAfterDtmfAndAudio) {
  const AnswerCase cases[] = {
      {"0 8 18 101", "0 8 18 101", 0},
      {"18 101 3 0", "18 101", 18},
      {"101 8", "101 8", 8},
      {"3 97", "", -1},
      {"101 3 97", "", -1},  // DTMF alone is no call
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(c.offer);
    {
      std::lock_guard lock(seenMutex_);
      seen_.clear();
    }
    media_.sendType = -1;
    const int cid = PeerCalls(Sdp(c.offer, ""));
    ASSERT_GT(cid, 0);
    if (c.answer[0] == '\0') {
      // Refused before it rings: nobody could talk in it.
      EventPtr refused = peer_.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
      ASSERT_TRUE(refused);
      EXPECT_EQ(refused->response->status_code, 488);
      EXPECT_TRUE(Reports().empty());
      EXPECT_EQ(server_.callCount(), 0);
      continue;
    }
    EventPtr ringing = peer_.WaitFor(EXOSIP_CALL_RINGING);
    ASSERT_TRUE(ringing);
    ASSERT_TRUE(WaitUntil([&] { return Reports().size() == 2; }, 3000));
    const uint32_t identify = Reports().back().identify;
    EXPECT_TRUE(Answer(identify, 200));
    EventPtr answered = peer_.WaitFor(EXOSIP_CALL_ANSWERED);
    ASSERT_TRUE(answered);
    const std::string body = BodyOf(answered->response.get());
    EXPECT_NE(body.find(std::string("m=audio 40000 RTP/AVP ") + c.answer + "\r\n"),
              std::string::npos)
        << body;
    EXPECT_EQ(body.substr(body.size() - 12), "a=sendrecv\r\n");
    MessagePtr ack;
    ASSERT_EQ(peer_.ua().CallBuildAck(answered->did, &ack), 0);
    ASSERT_EQ(peer_.ua().CallSendAck(answered->did, std::move(ack)), 0);
    ASSERT_TRUE(WaitForState(5));
    EXPECT_EQ(media_.sendType, c.chosen);
    EXPECT_EQ(media_.Remote(), "127.0.0.1:12000");
    EXPECT_TRUE(HangUp(identify));
    EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_CLOSED));
    EXPECT_EQ(server_.callCount(), 0);
  }
  // The answer names each format the way this side knows it.
  EXPECT_TRUE(HasLine(logPath_, "[TAKESDP] audio playload match: 18"));
  EXPECT_TRUE(HasLine(logPath_, "[TAKESDP] dtmf playload match: 101"));
}

// --- outgoing calls ---

TEST_F(SipCallsTest, AnOutgoingCallRingsConnectsAndEndsByTheOthersBye) {
  ASSERT_TRUE(Invite("3003"));
  EXPECT_FALSE(Invite("3003"));  // the same number again
  EXPECT_FALSE(Invite("3004"));  // a second call
  EXPECT_TRUE(HasLine(logPath_, "[INVITE] Can Not Create Two Call"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  EXPECT_EQ(std::string(invite->request->req_uri->username), "3003");
  osip_header_t* subject = nullptr;
  osip_message_header_get_byname(invite->request.get(), "Subject", 0, &subject);
  ASSERT_NE(subject, nullptr);
  EXPECT_STREQ(subject->hvalue, "SipPhone");
  EXPECT_NE(BodyOf(invite->request.get()).find("m=audio 40000 RTP/AVP 101 18 8 0\r\n"),
            std::string::npos);

  ASSERT_EQ(peer_.ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
  ASSERT_TRUE(WaitForState(2));
  PeerAnswers(*invite, 200, Sdp("8 101", "", 12002));
  ASSERT_TRUE(peer_.WaitFor(EXOSIP_CALL_ACK));
  ASSERT_TRUE(WaitForState(5));
  EXPECT_EQ(media_.sendType, 8);
  EXPECT_EQ(media_.Remote(), "127.0.0.1:12002");
  EXPECT_EQ(media_.ended, 0);

  MessagePtr bye;
  ASSERT_EQ(peer_.ua().CallBuildRequest(invite->did, "BYE", &bye), 0);
  ASSERT_EQ(peer_.ua().CallSendRequest(invite->did, std::move(bye)), 0);
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(States(), (std::vector<int>{1, 2, 5, -1}));
  const Seen last = Reports().back();
  EXPECT_EQ(last.failed, 1);
  EXPECT_EQ(last.name, "3003");
  EXPECT_EQ(last.outgoing, 1);
  EXPECT_EQ(server_.callCount(), 0);
  EXPECT_TRUE(WaitUntil([&] { return media_.ended == 1; }, 1000));
  EXPECT_TRUE(HasLine(logPath_, "[PROCBYE] Call Count:0 EndRTPSession"));
  // Identify numbers are handed out once each.
  EXPECT_EQ(server_.nextIdentify(), Reports().front().identify + 1);
}

TEST_F(SipCallsTest, FailureAnswersEndTheCallWithTheirReason) {
  const struct {
    int status;
    int reason;
  } cases[] = {{404, 1}, {406, 2}, {486, 3}, {603, 0}, {500, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    {
      std::lock_guard lock(seenMutex_);
      seen_.clear();
    }
    ASSERT_TRUE(Invite("3003"));
    EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
    ASSERT_TRUE(invite);
    PeerAnswers(*invite, c.status);
    ASSERT_TRUE(WaitForState(-1));
    EXPECT_EQ(States(), (std::vector<int>{1, -1}));
    EXPECT_EQ(Reports().back().failed, 1);
    EXPECT_EQ(Reports().back().reason, c.reason);
    EXPECT_EQ(server_.callCount(), 0);
  }
}

TEST_F(SipCallsTest, AnAnswerSharingNoAudioFormatEndsTheCall) {
  ASSERT_TRUE(Invite("3003"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  PeerAnswers(*invite, 200, Sdp("97 101", "a=rtpmap:97 iLBC/8000\r\n"));
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_ACK));
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_CLOSED));  // the BYE that ends it
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(States(), (std::vector<int>{1, -1}));
  EXPECT_TRUE(HasLine(logPath_, "[TAKESDP] audio playload can not match "));
  EXPECT_TRUE(HasLine(logPath_, "[PROCANSWER] TakeSDPMessage Failed"));
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, AnUnconnectedCallIsSweptAfterItsTimeout) {
  server_.SetCallTimeout(1);
  ASSERT_TRUE(Invite("3003"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  ASSERT_EQ(peer_.ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
  ASSERT_TRUE(WaitForState(2));
  // The sweep ends it with a CANCEL, which the peer answers with 487 on the INVITE.
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_CANCELLED, 4000)) << testing::ReadFile(logPath_);
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(States(), (std::vector<int>{1, 2, -1}));
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, AConnectedCallNeverExpires) {
  server_.SetCallTimeout(1);
  ASSERT_TRUE(Invite("3003"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  PeerAnswers(*invite, 200, Sdp("0", ""));
  ASSERT_TRUE(WaitForState(5));
  ASSERT_TRUE(peer_.WaitFor(EXOSIP_CALL_ACK));
  EXPECT_TRUE(peer_.Drain(1500).empty());
  EXPECT_EQ(server_.callCount(), 1);
}

TEST_F(SipCallsTest, TheConferenceHeaderGoesOutAndLetsASecondCallIn) {
  ASSERT_TRUE(Invite("3003", 7));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  osip_header_t* conference = nullptr;
  osip_message_header_get_byname(invite->request.get(), "Conference", 0, &conference);
  ASSERT_NE(conference, nullptr);
  EXPECT_STREQ(conference->hvalue, "7 SIP-Conference");
  EXPECT_EQ(server_.conferenceId(), 7u);

  // Another conference's call is refused, this one's is taken beside the first.
  UaPeer other("4004");
  ASSERT_TRUE(other.ok());
  const auto call = [&](const char* header) {
    MessagePtr message;
    const std::string to = "sip:1001@127.0.0.1:" + std::to_string(server_.localPort());
    EXPECT_EQ(
        other.ua().CallBuildInitialInvite(&message, to.c_str(), other.uri().c_str(), nullptr, "x"),
        0);
    SetSdp(message.get(), Sdp("0", ""));
    osip_message_set_header(message.get(), "Conference", header);
    return other.ua().CallSendInitialInvite(std::move(message));
  };
  ASSERT_GT(call("8 SIP-Conference"), 0);
  EventPtr refused = other.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);
  ASSERT_GT(call("7 SIP-Conference"), 0);
  EXPECT_TRUE(other.WaitFor(EXOSIP_CALL_RINGING));
  EXPECT_EQ(server_.callCount(), 2);
  EXPECT_TRUE(HasLine(logPath_, "[PROCINVITE] Conference Call 7 SIP-Conference"));
  EXPECT_TRUE(HangUp(0));
  EXPECT_EQ(server_.callCount(), 0);
  EXPECT_EQ(server_.conferenceId(), 0u);
}

// --- incoming calls ---

TEST_F(SipCallsTest, AnIncomingCallRingsTwiceConnectsOnItsAckAndEndsByHangUp) {
  ASSERT_GT(PeerCalls(Sdp("0 8 101", "")), 0);
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_RINGING));
  ASSERT_TRUE(WaitUntil([&] { return Reports().size() == 2; }, 3000));
  EXPECT_EQ(States(), (std::vector<int>{1, 1}));
  const Seen first = Reports().front();
  EXPECT_EQ(first.name, "2002");
  EXPECT_EQ(first.outgoing, 0);

  // A second caller meanwhile is refused.
  UaPeer other("4004");
  ASSERT_TRUE(other.ok());
  MessagePtr second;
  const std::string to = "sip:1001@127.0.0.1:" + std::to_string(server_.localPort());
  ASSERT_EQ(
      other.ua().CallBuildInitialInvite(&second, to.c_str(), other.uri().c_str(), nullptr, "x"), 0);
  SetSdp(second.get(), Sdp("0", ""));
  ASSERT_GT(other.ua().CallSendInitialInvite(std::move(second)), 0);
  EventPtr refused = other.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);

  ASSERT_TRUE(Answer(first.identify, 200));
  EventPtr answered = peer_.WaitFor(EXOSIP_CALL_ANSWERED);
  ASSERT_TRUE(answered);
  EXPECT_EQ(Reports().size(), 2u);  // connected only with the ACK
  MessagePtr ack;
  ASSERT_EQ(peer_.ua().CallBuildAck(answered->did, &ack), 0);
  ASSERT_EQ(peer_.ua().CallSendAck(answered->did, std::move(ack)), 0);
  ASSERT_TRUE(WaitForState(5));
  EXPECT_EQ(media_.sendType, 0);

  EXPECT_TRUE(HangUp(first.identify));
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_CLOSED));
  EXPECT_EQ(States(), (std::vector<int>{1, 1, 5, -1}));
  EXPECT_EQ(Reports().back().failed, 0);
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, RefusingAnIncomingCallSends400AndReportsReason4) {
  ASSERT_GT(PeerCalls(Sdp("0", "")), 0);
  ASSERT_TRUE(WaitUntil([&] { return Reports().size() == 2; }, 3000));
  ASSERT_TRUE(Answer(Reports().front().identify, 400));
  EventPtr refused = peer_.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(Reports().back().reason, 4);
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, AReportThatRefusesANewCallAnswers400) {
  reportResult_ = -1;
  ASSERT_GT(PeerCalls(Sdp("0", "")), 0);
  EventPtr refused = peer_.WaitFor(EXOSIP_CALL_REQUESTFAILURE);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->response->status_code, 400);
  EXPECT_TRUE(WaitUntil([&] { return HasLine(logPath_, "[PROCINVITE] Report Failed"); }, 2000));
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, ACallerThatCancelsWhileRingingEndsTheCall) {
  const int cid = PeerCalls(Sdp("0", ""));
  ASSERT_GT(cid, 0);
  EXPECT_TRUE(peer_.WaitFor(EXOSIP_CALL_RINGING));
  peer_.ua().Lock();
  EXPECT_EQ(peer_.ua().CallTerminate(cid, 0), 0);
  peer_.ua().Unlock();
  // The core answers 487 and releases the call, which ends it here.
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, AByeOutsideTheCallsDialogLeavesTheCallUp) {
  ASSERT_TRUE(Invite("3003"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  PeerAnswers(*invite, 200, Sdp("0", ""));
  ASSERT_TRUE(WaitForState(5));
  // The same Call-ID with tags of nobody's dialog.
  const char* callId = invite->request->call_id->number;
  const std::string host = invite->request->call_id->host ? invite->request->call_id->host : "";
  testing::RawPeer raw;
  raw.Send(
      "BYE sip:1001@127.0.0.1:{port} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKforged\n"
      "From: <sip:3003@127.0.0.1>;tag=forged\nTo: <sip:1001@127.0.0.1>;tag=wrong\n"
      "Call-ID: {callid}\nCSeq: 9 BYE\nContent-Length: 0\n\n",
      server_.localPort(),
      {{"port", std::to_string(server_.localPort())},
       {"me", std::to_string(raw.port())},
       {"callid", std::string(callId) + (host.empty() ? "" : "@" + host)}});
  std::optional<std::string> answer = raw.ReceiveStarting("SIP/2.0 481", 2000);
  EXPECT_TRUE(answer);
  EXPECT_TRUE(WaitUntil(
      [&] { return CountLinesStarting(logPath_, "[PROCMESSAGE] BYE outside the dialog") == 1; },
      2000));
  EXPECT_EQ(server_.callCount(), 1);
  EXPECT_EQ(States(), (std::vector<int>{1, 5}));
}

TEST_F(SipCallsTest, BadInputAtTheSipPortLeavesTheCallInProgressAlone) {
  ASSERT_TRUE(Invite("3003"));
  EventPtr invite = peer_.WaitFor(EXOSIP_CALL_INVITE);
  ASSERT_TRUE(invite);
  PeerAnswers(*invite, 200, Sdp("0", ""));
  ASSERT_TRUE(WaitForState(5));
  ASSERT_TRUE(peer_.WaitFor(EXOSIP_CALL_ACK));
  const std::string callId = std::string(invite->request->call_id->number) + "@" +
                             (invite->request->call_id->host ? invite->request->call_id->host : "");

  testing::RawPeer attacker;
  const std::map<std::string, std::string> vars = {{"port", std::to_string(server_.localPort())},
                                                   {"me", std::to_string(attacker.port())},
                                                   {"callid", callId}};
  const std::string byeOfTheCall =
      "BYE sip:1001@127.0.0.1:{port} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKbad\n"
      "From: <sip:3003@127.0.0.1>;tag=forged\nTo: <sip:1001@127.0.0.1>;tag=wrong\n"
      "Call-ID: {callid}\nCSeq: 9 BYE\nContent-Length: 0\n\n";
  std::string garbage(700, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i)
    garbage[i] = static_cast<char>(i * 37 + 11);
  attacker.SendRaw(garbage, server_.localPort());
  attacker.SendRaw(byeOfTheCall.substr(0, 60), server_.localPort());  // truncated
  attacker.Send(byeOfTheCall, server_.localPort(), vars);             // wrong tags
  // A flood of new calls, each refused while this one is up.
  for (int i = 0; i < 200; ++i) {
    attacker.Send(
        "INVITE sip:1001@127.0.0.1:{port} SIP/2.0\n"
        "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKflood{n}\n"
        "From: <sip:9{n}@127.0.0.1>;tag=f{n}\nTo: <sip:1001@127.0.0.1>\n"
        "Call-ID: flood{n}@127.0.0.1\nCSeq: 1 INVITE\nContact: <sip:9@127.0.0.1:{me}>\n"
        "Content-Length: 0\n\n",
        server_.localPort(),
        {{"port", vars.at("port")}, {"me", vars.at("me")}, {"n", std::to_string(i)}});
  }
  // None is taken: each is refused (400, or 486 without a transaction once the core holds its
  // most calls in the making) or, past what the core keeps transactions for, dropped; the 400s
  // repeat until their ACK, which never comes.
  std::set<std::string> refused;
  int others = 0;
  while (std::optional<std::string> answer = attacker.Receive(500)) {
    const bool refusal =
        answer->rfind("SIP/2.0 400", 0) == 0 || answer->rfind("SIP/2.0 486", 0) == 0;
    if (refusal) {
      refused.insert(testing::HeaderValue(*answer, "Call-ID"));
    } else {
      others += answer->rfind("SIP/2.0 481", 0) == 0 ? 0 : 1;  // 481: the forged BYE
    }
  }
  EXPECT_GE(refused.size(), 32u);
  EXPECT_EQ(others, 0);
  EXPECT_EQ(server_.callCount(), 1);
  EXPECT_EQ(States(), (std::vector<int>{1, 5}));

  // The call still answers its own side: the peer's BYE ends it as usual.
  MessagePtr bye;
  ASSERT_EQ(peer_.ua().CallBuildRequest(invite->did, "BYE", &bye), 0);
  ASSERT_EQ(peer_.ua().CallSendRequest(invite->did, std::move(bye)), 0);
  ASSERT_TRUE(WaitForState(-1));
  EXPECT_EQ(server_.callCount(), 0);
}

TEST_F(SipCallsTest, HangingUpEverythingEndsTheMediaEvenWithoutACall) {
  EXPECT_TRUE(HangUp(0));
  EXPECT_EQ(media_.ended, 1);
  EXPECT_TRUE(HasLine(logPath_, "[PROCBYE] Call Count:0 EndRTPSession"));
  EXPECT_FALSE(HangUp(42));  // no such call
  server_.Delete();
  EXPECT_FALSE(Invite("3003"));  // nothing works unless running
  EXPECT_FALSE(HangUp(0));
}

// --- the call table ---

TEST(SipCallTableTest, RecordsMatchByIdentifyCallIdCidOrTheNumberOfAnOutgoingProbe) {
  SipCall record;
  record.Identify = 3;
  record.callId = CallId{"abc", "host"};
  record.cid = 7;
  record.CallName = "3003";
  const auto probe = [](auto change) {
    SipCall p;
    change(p);
    return p;
  };
  const struct {
    const char* name;
    SipCall probe;
    bool matches;
  } cases[] = {
      {"identify", probe([](SipCall& p) { p.Identify = 3; }), true},
      {"other identify", probe([](SipCall& p) { p.Identify = 4; }), false},
      {"call-id", probe([](SipCall& p) {
         p.callId = CallId{"abc", "host"};
       }),
       true},
      {"call-id of another host", probe([](SipCall& p) {
         p.callId = CallId{"abc", "other"};
       }),
       false},
      {"cid", probe([](SipCall& p) { p.cid = 7; }), true},
      {"outgoing number", probe([](SipCall& p) {
         p.outgoing = 1;
         p.CallName = "3003";
       }),
       true},
      {"incoming number", probe([](SipCall& p) { p.CallName = "3003"; }), false},
      {"outgoing number with a call-id", probe([](SipCall& p) {
         p.outgoing = 1;
         p.CallName = "3003";
         p.callId = CallId{"zzz", ""};
       }),
       false},
      {"empty probe", SipCall{}, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(CallMatches(record, c.probe), c.matches) << c.name;
}

TEST(SipCallTableTest, AgeIsCountedModulo2To32AndConnectedCallsNeverGoStale) {
  SipCall call;
  call.state = 1;
  call.timeout = 30;
  call.startTick = 0xFFFFF000u;  // 4096 ms before the counter wraps
  EXPECT_FALSE(CallIsStale(call, 0xFFFFF000u + 29999u));
  EXPECT_TRUE(CallIsStale(call, 0xFFFFF000u + 30000u));  // past the wrap
  EXPECT_TRUE(CallIsStale(call, 0xFFFFF000u + 31000u));
  call.state = 5;
  EXPECT_FALSE(CallIsStale(call, 0xFFFFF000u + 3000000u));
}

TEST(SipCallTableTest, UpdateChangesTheStoredRecordAndFindHandsOutCopies) {
  CallTable table;
  SipCall a;
  a.Identify = 1;
  a.CallName = "a";
  ASSERT_TRUE(table.Append(a));
  std::optional<SipCall> copy = table.Find(a);
  ASSERT_TRUE(copy);
  copy->state = 5;
  EXPECT_EQ(table.Find(a)->state, 0);
  EXPECT_EQ(table.Update(a, [](SipCall& record) { record.state = 2; })->state, 2);
  EXPECT_EQ(table.Find(a)->state, 2);
  SipCall none;
  none.Identify = 9;
  EXPECT_FALSE(table.Update(none, [](SipCall& record) { record.state = 2; }));
  EXPECT_TRUE(table.FindAndRemove(a));
  EXPECT_EQ(table.count(), 0);
}

}  // namespace
}  // namespace corvel
