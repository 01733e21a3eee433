#include <gtest/gtest.h>

#include <string>

#include "media/toolkit/text_codec.h"
#include "service/client_requests.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel {
namespace {

std::string Padded(const std::string& text, std::size_t width) {
  std::string field = text;
  field.resize(width, ' ');
  return field;
}

std::string Body(const ServicePacket& packet) {
  return std::string(packet.bodyBytes());
}

TEST(ClientRequests, ExactBodies) {
  struct Case {
    const char* name;
    ServicePacket packet;
    std::uint32_t cmdId;
    std::uint32_t status;
    std::string body;
  };
  const std::string account = "8613800";
  const Case cases[] = {
      {"keepalive idle", KeepAliveRequest(account, false), CMD_KEEPALIVE, 0, Padded(account, 50)},
      {"keepalive in call", KeepAliveRequest(account, true), CMD_KEEPALIVE, 1, Padded(account, 50)},
      {"login", LoginRequest(account, "pw12"), CMD_LOGIN, 0,
       Padded(account, 50) + Padded("pw12", 15)},
      {"logoff", LogOffRequest(account), CMD_LOGOFF, 0, Padded(account, 50)},
      {"call start", CallStartRequest(account, "13912345678"), CMD_CALL_START, 0,
       Padded(account, 50) + Padded("13912345678", 15)},
      {"call end", CallEndRequest(account), CMD_CALL_END, 0, Padded(account, 50)},
      {"callback", CallbackRequest(account, "13912345678", CallbackKind::kCallback), CMD_CALLBACK,
       0, Padded(account, 50) + Padded("13912345678", 15) + "\x01"},
      {"conference callback",
       CallbackRequest(account, "13912345678", CallbackKind::kConference, "CONF0000ABCD00000007"),
       CMD_CALLBACK, 0,
       Padded(account, 50) + Padded("13912345678", 15) + "\x02" +
           Padded("CONF0000ABCD00000007", 30)},
      {"area query", AreaQueryRequest("01087654321"), CMD_AREA_QUERY, 0,
       "\x01" + Padded("01087654321", 32) + Padded("021", 32) + Padded(Utf8ToGbk("上海市"), 32)},
      {"conference mute", ConferenceMemberRequest(ConferenceOp::kMute, "13912345678", "42"),
       CMD_CONF_MEMBER, 0, "\x02" + Padded("13912345678", 15) + Padded("42", 30)},
      {"conference leave", ConferenceLeaveRequest(account, "13912345678", "42"), CMD_CONF_MEMBER, 0,
       Padded(account, 50) + Padded("13912345678", 15) + "\x01" + Padded("42", 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.packet.cmdId, c.cmdId);
    EXPECT_EQ(c.packet.status, c.status);
    EXPECT_EQ(c.packet.sender, 0u);
    EXPECT_EQ(Body(c.packet), c.body);
    EXPECT_EQ(c.packet.length, 36 + c.body.size());
  }
  EXPECT_EQ(LoginRequest(account, "x").length - 36, 65u);
  EXPECT_EQ(ConferenceMemberRequest(ConferenceOp::kEnd, "1", "42").receiver, 42u);
  EXPECT_EQ(ConferenceLeaveRequest(account, "1", "4000000000").receiver, 4000000000u);
  EXPECT_EQ(ConferenceMemberRequest(ConferenceOp::kUnmute, "1", "").receiver, 0u);
}

TEST(ClientRequests, FieldsAreCutAtCharacterBoundaries) {
  std::string chinese;
  for (int i = 0; i < 30; ++i)
    chinese += "中";
  const std::string body = Body(LogOffRequest("a" + chinese));
  ASSERT_EQ(body.size(), 50u);
  // "a" and 24 characters make 49 bytes; the 25th would end inside the field's last byte.
  EXPECT_EQ(body, "a" + Utf8ToGbk(chinese).substr(0, 48) + " ");
  const std::string login = Body(LoginRequest("u", std::string(20, 'p')));
  EXPECT_EQ(login.substr(50), std::string(15, 'p'));
}

TEST(ClientRequests, CallReportingRule) {
  EXPECT_FALSE(CallIsReported("80001234", "80009999"));
  EXPECT_TRUE(CallIsReported("81001234", "80009999"));
  EXPECT_TRUE(CallIsReported("800012345", "80009999"));
  EXPECT_TRUE(CallIsReported("13912345678", "80009999"));
  EXPECT_TRUE(CallIsReported("80001234", ""));
  EXPECT_EQ(ConferenceId(0xABCD, 7), "CONF0000ABCD00000007");
}

TEST(ServerMessages, LoginAnswerRoundTrip) {
  LoginAnswer answer{0x1234, 0, "12.50", "13912345678", "80001234", "abcdefghij"};
  const LoginAnswer read = ReadLoginAnswer(LoginAnswerPacket(answer));
  EXPECT_EQ(read.clientId, 0x1234u);
  EXPECT_EQ(read.balance, "12.50");
  EXPECT_EQ(read.linkedPhone, "13912345678");
  EXPECT_EQ(read.sipNumber, "80001234");
  EXPECT_EQ(read.codeTable, "abcdefghij");
  const ServicePacket refused = LoginAnswerPacket({99, 3, "5", "1", "2", "3"});
  EXPECT_EQ(refused.receiver, 99u);
  EXPECT_EQ(refused.bodyLength(), 0u);
}

TEST(ServerMessages, BalanceFieldTrimming) {
  ServicePacket packet;
  packet.cmdId = RSP_ACCOUNT_STATE;
  const std::string amount = "12.50       ";
  packet.SetBody(amount.data(), 12);
  EXPECT_EQ(ReadAccountState(packet).balance, "12.50");
  const std::string blank(12, ' ');
  packet.SetBody(blank.data(), 12);
  EXPECT_EQ(ReadAccountState(packet).balance, "");
  const std::string zeroEnded("7\0 99", 5);
  packet.SetBody(zeroEnded.data(), 5);
  EXPECT_EQ(ReadAccountState(packet).balance, "7");
}

TEST(ServerMessages, AreaAndConferenceNotices) {
  const AreaAnswer area = ReadAreaAnswer(AreaAnswerPacket({0, -1, "01087654321", "021", "上海市"}));
  EXPECT_EQ(area.mode, -1);
  EXPECT_EQ(area.number, "01087654321");
  EXPECT_EQ(area.areaCode, "021");
  EXPECT_EQ(area.areaName, "上海市");

  const ConferenceMemberNotice notice =
      ReadConferenceMemberNotice(ConferenceMemberNoticePacket({2, 42, "13912345678  "}));
  EXPECT_EQ(notice.status, 2u);
  EXPECT_EQ(notice.memberId, 42u);
  EXPECT_EQ(notice.phone, "13912345678  ");  // untrimmed

  EXPECT_EQ(CallbackIdNotice(5).receiver, 5u);
  EXPECT_EQ(ServiceStopNotice(1).status, 1u);
  EXPECT_EQ(ReadCallStartAnswer(CallStartAnswerPacket({3, "8.00"})).balance, "8.00");
}

TEST(ServerMessages, RequestFieldsAsTheServerReadsThem) {
  const RequestFields fields =
      ReadRequestFields(CallbackRequest("acct", "139", CallbackKind::kConference, "CONF1"));
  EXPECT_EQ(fields.account, "acct");
  EXPECT_EQ(fields.second, "139");
  EXPECT_EQ(fields.kind, 2);
  EXPECT_EQ(fields.conferenceId, "CONF1");
}

TEST(ServiceCommand, WorkerSet) {
  for (std::uint32_t id : {1u, 6u, 8u, 10u, 4001u, 4003u, 4006u, 4008u, 4010u, 8006u, 8008u}) {
    EXPECT_TRUE(IsWorkerCommand(id)) << id;
  }
  for (std::uint32_t id : {0u, 7u, 11u, 4000u, 4007u, 4011u, 8005u, 8009u}) {
    EXPECT_FALSE(IsWorkerCommand(id)) << id;
  }
}

}  // namespace
}  // namespace corvel
