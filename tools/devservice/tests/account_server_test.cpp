#include "account_server.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "request_rules.h"
#include "service/client_requests.h"
#include "service/packet_body.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "test_accounts.h"

namespace corvel::devservice {
namespace {

constexpr Endpoint kClient{0x7F000001, 6000};
constexpr Endpoint kMoved{0x7F000001, 6003};
constexpr int kDelayMs = 150;

class AccountServerTest : public ::testing::Test {
 protected:
  AccountServerTest() : server(testing::TestBook(), kDelayMs) {}

  Handled Send(ServicePacket request, Endpoint from = kClient) {
    request.sender = clientId;
    return server.Handle(request, from);
  }

  // Logs in and remembers the client identifier for the next requests, as the client does.
  LoginAnswer LogIn(const std::string& account, const std::string& password,
                    Endpoint from = kClient) {
    const Handled handled = Send(LoginRequest(account, password), from);
    EXPECT_EQ(handled.send.size(), 1u);
    if (handled.send.empty()) return {};
    EXPECT_EQ(handled.send[0].to, from);
    EXPECT_EQ(handled.send[0].packet.cmdId, RSP_LOGIN);
    const LoginAnswer answer = ReadLoginAnswer(handled.send[0].packet);
    clientId = answer.clientId;
    return answer;
  }

  // The one packet a request was answered with.
  ServicePacket Answer(const Handled& handled) {
    EXPECT_EQ(handled.send.size(), 1u);
    return handled.send.empty() ? ServicePacket() : handled.send[0].packet;
  }

  AccountServer server;
  std::uint32_t clientId = 0;
};

TEST_F(AccountServerTest, EveryLoginResultIsReachable) {
  struct Case {
    const char* account;
    const char* password;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"alice", "pw1", 0}, {"bob", "pw2", 1},  {"alice", "nope", 2}, {"zed", "pw1", 3},
      {"carol", "pw3", 4}, {"hugo", "pw8", 4}, {"dave", "pw4", 5},   {"erin", "pw5", 6},
      {"frank", "pw6", 7}, {"gina", "pw7", 8},
  };
  std::set<std::uint32_t> ids;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    const LoginAnswer answer = LogIn(c.account, c.password);
    EXPECT_EQ(answer.status, c.status);
    EXPECT_NE(answer.clientId, 0u);
    ids.insert(answer.clientId);
    if (c.status <= 1) {
      EXPECT_FALSE(answer.balance.empty());
    } else {
      EXPECT_EQ(answer.balance, "");
      EXPECT_EQ(answer.sipNumber, "");
    }
  }
  EXPECT_EQ(ids.size(), std::size(cases));  // a new identifier for every login
  EXPECT_EQ(*ids.begin(), kFirstClientId);
}

TEST_F(AccountServerTest, SuccessfulLoginCarriesTheAccountsFields) {
  const LoginAnswer answer = LogIn("alice", "pw1");
  EXPECT_EQ(answer.status, 0u);
  EXPECT_EQ(answer.balance, "25.00");
  EXPECT_EQ(answer.linkedPhone, "13900000001");
  EXPECT_EQ(answer.sipNumber, "80001001");
  EXPECT_EQ(answer.codeTable, "abcXYZ");
  const std::vector<SessionInfo> sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].account, "alice");
  EXPECT_EQ(sessions[0].clientId, answer.clientId);
  EXPECT_EQ(sessions[0].endpoint, kClient);
}

TEST_F(AccountServerTest, FailedLoginOpensNoSession) {
  EXPECT_EQ(LogIn("alice", "nope").status, 2u);
  EXPECT_EQ(LogIn("erin", "pw5").status, 6u);
  EXPECT_TRUE(server.Sessions().empty());
}

TEST_F(AccountServerTest, KeepAliveAnswersZeroThenSixOnceLoggedOffByTheService) {
  LogIn("alice", "pw1");
  ServicePacket state = Answer(Send(KeepAliveRequest("alice", false)));
  EXPECT_EQ(state.cmdId, RSP_ACCOUNT_STATE);
  EXPECT_EQ(ReadAccountState(state).status, 0u);
  EXPECT_EQ(ReadAccountState(state).balance, "25.00");

  const PushResult push = server.LogOffByService("alice");
  ASSERT_TRUE(push.push.has_value()) << push.error;
  EXPECT_EQ(push.push->to, kClient);
  EXPECT_EQ(push.push->packet.cmdId, RSP_ACCOUNT_STATE);
  EXPECT_EQ(push.push->packet.status, kAccountLoggedOffByService);

  state = Answer(Send(KeepAliveRequest("alice", false)));
  EXPECT_EQ(ReadAccountState(state).status, kAccountLoggedOffByService);
  state = Answer(Send(KeepAliveRequest("alice", true)));
  EXPECT_EQ(ReadAccountState(state).status, kAccountLoggedOffByService);

  // A new login lifts the mark.
  LogIn("alice", "pw1");
  state = Answer(Send(KeepAliveRequest("alice", false)));
  EXPECT_EQ(ReadAccountState(state).status, 0u);
}

TEST_F(AccountServerTest, LogOffByServiceWithoutSessionStillMarks) {
  const PushResult push = server.LogOffByService("bob");
  EXPECT_FALSE(push.push.has_value());
  EXPECT_EQ(push.error, "");
  EXPECT_EQ(ReadAccountState(Answer(Send(KeepAliveRequest("bob", false)))).status, 6u);
  EXPECT_NE(server.LogOffByService("zed").error, "");
}

TEST_F(AccountServerTest, KeepAliveOfUnknownAccountAnswersLoggedOff) {
  EXPECT_EQ(ReadAccountState(Answer(Send(KeepAliveRequest("zed", false)))).status, 6u);
  EXPECT_TRUE(server.Sessions().empty());
}

TEST_F(AccountServerTest, KeepAliveWithoutLoginAdoptsTheClient) {
  clientId = 0x4242;
  const Handled handled = Send(KeepAliveRequest("alice", false));
  EXPECT_EQ(ReadAccountState(Answer(handled)).status, 0u);
  EXPECT_NE(handled.note, "");
  const std::vector<SessionInfo> sessions = server.Sessions();
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0].clientId, 0x4242u);
}

TEST_F(AccountServerTest, PushesFollowTheAddressTheClientLastSentFrom) {
  LogIn("alice", "pw1");
  Send(KeepAliveRequest("alice", true), kMoved);
  const PushResult push = server.PushTo("alice", ServiceStopNotice(1));
  ASSERT_TRUE(push.push.has_value());
  EXPECT_EQ(push.push->to, kMoved);
  EXPECT_EQ(push.push->packet.cmdId, NTF_SERVICE_STOP);
  EXPECT_TRUE(server.Sessions()[0].inCall);
  Send(KeepAliveRequest("alice", false), kMoved);
  EXPECT_FALSE(server.Sessions()[0].inCall);
}

TEST_F(AccountServerTest, LogOffEndsTheSessionWithoutAnswer) {
  LogIn("alice", "pw1");
  EXPECT_TRUE(Send(LogOffRequest("alice")).send.empty());
  EXPECT_TRUE(server.Sessions().empty());
  EXPECT_FALSE(server.PushTo("alice", ServiceStopNotice(0)).push.has_value());
}

TEST_F(AccountServerTest, CallStartRules) {
  LogIn("alice", "pw1");
  struct Case {
    const char* account;
    const char* number;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"alice", "13912345678", kCallAccepted},
      {"alice", "02112345678", kCallAccepted},
      {"alice", "110", 0},
      {"alice", "1190", 0},
      {"alice", "120", 0},
      {"alice", "99912345", 1},
      {"carol", "13912345678", 2},
      {"hugo", "13912345678", 2},
      {"zed", "13912345678", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.account) + " " + c.number);
    const ServicePacket answer = Answer(Send(CallStartRequest(c.account, c.number)));
    EXPECT_EQ(answer.cmdId, RSP_CALL_START);
    EXPECT_EQ(ReadCallStartAnswer(answer).status, c.status);
  }
  EXPECT_EQ(ReadCallStartAnswer(Answer(Send(CallStartRequest("alice", "139")))).balance, "25.00");
}

TEST_F(AccountServerTest, ForcedRefusalAppliesToTheNextCallOnly) {
  LogIn("alice", "pw1");
  EXPECT_TRUE(server.RefuseNextCall("alice", 2));
  EXPECT_FALSE(server.RefuseNextCall("zed", 2));
  EXPECT_EQ(Answer(Send(CallStartRequest("alice", "13912345678"))).status, 2u);
  EXPECT_EQ(Answer(Send(CallStartRequest("alice", "13912345678"))).status, kCallAccepted);
}

TEST_F(AccountServerTest, AnEndedAcceptedCallIsCharged) {
  LogIn("alice", "pw1");
  EXPECT_TRUE(Send(CallEndRequest("alice")).send.empty());
  EXPECT_EQ(server.Balance("alice"), 2500);  // no call was open
  Send(CallStartRequest("alice", "13912345678"));
  EXPECT_TRUE(Send(CallEndRequest("alice")).send.empty());
  EXPECT_EQ(server.Balance("alice"), 2500 - kCallChargeCents);
  Send(CallStartRequest("alice", "110"));  // refused: nothing to charge
  Send(CallEndRequest("alice"));
  EXPECT_EQ(server.Balance("alice"), 2500 - kCallChargeCents);
  EXPECT_EQ(ReadAccountState(Answer(Send(KeepAliveRequest("alice", false)))).balance, "24.90");
}

TEST_F(AccountServerTest, SuccessfulCallbackIsAnsweredThenGivenAnIdLater) {
  LogIn("alice", "pw1");
  Handled handled = Send(CallbackRequest("alice", "13912345678", CallbackKind::kCallback));
  ASSERT_EQ(handled.send.size(), 2u);
  EXPECT_EQ(handled.send[0].packet.cmdId, RSP_CALLBACK);
  EXPECT_EQ(handled.send[0].packet.status, 0u);
  EXPECT_EQ(handled.send[0].delayMs, 0);
  EXPECT_EQ(handled.send[1].packet.cmdId, NTF_CALLBACK_ID);
  EXPECT_EQ(handled.send[1].delayMs, kDelayMs);
  EXPECT_EQ(handled.send[1].to, kClient);
  const std::uint32_t first = handled.send[1].packet.receiver;
  EXPECT_NE(first, 0u);

  handled = Send(CallbackRequest("alice", "13912345678", CallbackKind::kCallback));
  ASSERT_EQ(handled.send.size(), 2u);
  EXPECT_NE(handled.send[1].packet.receiver, first);
  EXPECT_NE(handled.send[1].packet.receiver, 0u);
  EXPECT_TRUE(server.Conferences("alice").empty());
}

// The client lists a conference member from the call-back answer, with the id it already has.
TEST_F(AccountServerTest, ConferenceCallbackGivesTheIdFirstAndTheMemberJoins) {
  LogIn("alice", "pw1");
  Handled handled =
      Send(CallbackRequest("alice", "13912345678", CallbackKind::kConference, "CONF1"));
  ASSERT_EQ(handled.send.size(), 2u);
  EXPECT_EQ(handled.send[0].packet.cmdId, NTF_CALLBACK_ID);
  EXPECT_EQ(handled.send[0].delayMs, 0);
  EXPECT_EQ(handled.send[1].packet.cmdId, RSP_CALLBACK);
  EXPECT_EQ(handled.send[1].packet.status, 0u);
  EXPECT_EQ(handled.send[1].delayMs, kDelayMs);
  const std::uint32_t first = handled.send[0].packet.receiver;
  handled = Send(CallbackRequest("alice", "02166667777", CallbackKind::kConference, "CONF1"));
  const std::uint32_t second = handled.send[0].packet.receiver;
  EXPECT_NE(first, second);
  Send(CallbackRequest("alice", "00012345", CallbackKind::kConference, "CONF1"));  // fails

  const std::vector<ConferenceInfo> conferences = server.Conferences("alice");
  ASSERT_EQ(conferences.size(), 1u);
  EXPECT_EQ(conferences[0].code, "CONF1");
  ASSERT_EQ(conferences[0].members.size(), 2u);
  EXPECT_EQ(conferences[0].members[0].phone, "13912345678");
  EXPECT_EQ(conferences[0].members[0].id, first);
  EXPECT_EQ(conferences[0].members[1].phone, "02166667777");
  EXPECT_TRUE(server.Conferences("bob").empty());
}

TEST_F(AccountServerTest, FailedCallbackGetsNoId) {
  LogIn("alice", "pw1");
  struct Case {
    const char* account;
    const char* number;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"alice", "00012345", 1},
      {"carol", "13912345678", 2},
      {"zed", "13912345678", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    const ServicePacket answer =
        Answer(Send(CallbackRequest(c.account, c.number, CallbackKind::kCallback)));
    EXPECT_EQ(answer.cmdId, RSP_CALLBACK);
    EXPECT_EQ(answer.status, c.status);
  }
  ServicePacket badKind = CallbackRequest("alice", "13912345678", CallbackKind::kCallback);
  badKind.body[65] = 3;
  EXPECT_EQ(Answer(Send(badKind)).status, 1u);
}

TEST_F(AccountServerTest, AreaQueryAnswersByTheTableAndEchoesTheRequest) {
  struct Case {
    const char* number;
    const char* code;
    const char* name;
  };
  const Case cases[] = {
      {"02112345678", "021", "上海市"},
      {"2112345678", "021", "上海市"},
      {"01087654321", "010", "北京市"},
      {"1087654321", "010", "北京市"},
      {"02033334444", "020", "广州市"},
      {"13912345678", "021", "上海市"},
      {"13612345678", "010", "北京市"},
      {"18612345678", "020", "广州市"},
      {"5551234", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    ServicePacket request = AreaQueryRequest(c.number);
    request.seqId = 77;
    const ServicePacket packet = Answer(Send(request));
    EXPECT_EQ(packet.cmdId, RSP_AREA_QUERY);
    EXPECT_EQ(packet.seqId, 77u);
    const AreaAnswer answer = ReadAreaAnswer(packet);
    EXPECT_EQ(answer.status, 0u);
    EXPECT_EQ(answer.mode, 1);
    EXPECT_EQ(answer.number, c.number);
    EXPECT_EQ(answer.areaCode, c.code);
    EXPECT_EQ(answer.areaName, c.name);
  }
  ServicePacket modeZero = AreaQueryRequest("01087654321");
  modeZero.body[0] = 0;
  EXPECT_EQ(ReadAreaAnswer(Answer(Send(modeZero))).mode, 0);
}

TEST_F(AccountServerTest, ConferenceEndAndLeaveAreAnsweredWithMemberLeft) {
  LogIn("alice", "pw1");
  for (const ServicePacket& request :
       {ConferenceMemberRequest(ConferenceOp::kEnd, "13912345678", "42"),
        ConferenceLeaveRequest("alice", "13912345678", "42")}) {
    SCOPED_TRACE(request.bodyLength());
    const ServicePacket packet = Answer(Send(request));
    EXPECT_EQ(packet.cmdId, NTF_CONF_MEMBER);
    const ConferenceMemberNotice notice = ReadConferenceMemberNotice(packet);
    EXPECT_EQ(notice.status, 2u);
    EXPECT_EQ(notice.memberId, 42u);
    EXPECT_EQ(notice.phone, "13912345678");
  }
}

TEST_F(AccountServerTest, MembersAreMutedUnmutedAndDroppedWithAConfirmation) {
  LogIn("alice", "pw1");
  const std::uint32_t id =
      Send(CallbackRequest("alice", "13912345678", CallbackKind::kConference, "CONF1"))
          .send[0]
          .packet.receiver;
  const std::string idText = std::to_string(id);
  struct Case {
    ServicePacket request;
    std::uint32_t status;
    std::size_t membersAfter;
    bool mutedAfter;
  };
  const Case cases[] = {
      {ConferenceMemberRequest(ConferenceOp::kMute, "13912345678", idText), kMemberMuted, 1, true},
      {ConferenceMemberRequest(ConferenceOp::kUnmute, "13912345678", idText), kMemberSpeaking, 1,
       false},
      {ConferenceMemberRequest(ConferenceOp::kEnd, "13912345678", idText), kMemberLeft, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    const ServicePacket packet = Answer(Send(c.request));
    EXPECT_EQ(packet.cmdId, NTF_CONF_MEMBER);
    EXPECT_EQ(ReadConferenceMemberNotice(packet).status, c.status);
    EXPECT_EQ(ReadConferenceMemberNotice(packet).memberId, id);
    const std::vector<ConferenceInfo> conferences = server.Conferences("alice");
    ASSERT_EQ(conferences.size(), 1u);
    ASSERT_EQ(conferences[0].members.size(), c.membersAfter);
    if (c.membersAfter > 0) {
      EXPECT_EQ(conferences[0].members[0].muted, c.mutedAfter);
    }
  }
  ServicePacket unknownOp = ConferenceMemberRequest(ConferenceOp::kMute, "139", "42");
  unknownOp.body[0] = 9;
  EXPECT_TRUE(Send(unknownOp).send.empty());
}

TEST_F(AccountServerTest, MemberIdComesFromTheTextWhenReceiverIsZero) {
  ServicePacket request = ConferenceMemberRequest(ConferenceOp::kEnd, "13912345678", "1234");
  request.receiver = 0;
  EXPECT_EQ(ReadConferenceMemberNotice(Answer(Send(request))).memberId, 1234u);
}

TEST_F(AccountServerTest, UnknownCommandsAreIgnoredButCounted) {
  ServicePacket unknown;
  unknown.cmdId = 7;
  EXPECT_TRUE(Send(unknown).send.empty());
  unknown.cmdId = 4003;
  EXPECT_TRUE(Send(unknown).send.empty());
  Send(KeepAliveRequest("alice", false));
  Send(KeepAliveRequest("alice", false));
  const auto counts = server.ReceivedCounts();
  EXPECT_EQ(counts.at(7), 1u);
  EXPECT_EQ(counts.at(4003), 1u);
  EXPECT_EQ(counts.at(CMD_KEEPALIVE), 2u);
  EXPECT_FALSE(counts.contains(CMD_LOGIN));
}

TEST_F(AccountServerTest, AnswersEchoTheRequestsSequenceNumber) {
  ServicePacket request = LoginRequest("alice", "pw1");
  request.seqId = 0x1234;
  EXPECT_EQ(Answer(Send(request)).seqId, 0x1234u);
}

}  // namespace
}  // namespace corvel::devservice
