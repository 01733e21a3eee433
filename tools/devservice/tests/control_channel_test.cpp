#include "control_channel.h"

#include <gtest/gtest.h>

#include <string>

#include "media/toolkit/text_codec.h"
#include "service/client_requests.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "test_accounts.h"

namespace corvel::devservice {
namespace {

constexpr Endpoint kClient{0x7F000001, 6001};

class ControlChannelTest : public ::testing::Test {
 protected:
  ControlChannelTest() : server(testing::TestBook(), 0), nat(120), control(server, nat) {}

  void LogIn(const std::string& account, const std::string& password) {
    ASSERT_EQ(server.Handle(LoginRequest(account, password), kClient).send.at(0).packet.status, 0u);
  }

  // The single push a command made.
  ServicePacket Pushed(const ControlResult& result) {
    EXPECT_EQ(result.pushes.size(), 1u) << result.answer;
    if (result.pushes.empty()) return {};
    EXPECT_EQ(result.pushes[0].to, kClient);
    return result.pushes[0].packet;
  }

  AccountServer server;
  NatHelper nat;
  ControlChannel control;
};

bool IsOk(const ControlResult& result) {
  return result.answer.starts_with("ok");
}

TEST_F(ControlChannelTest, LogoffPushesStateSixAndMarks) {
  LogIn("alice", "pw1");
  const ControlResult result = control.Execute("logoff alice");
  EXPECT_TRUE(IsOk(result)) << result.answer;
  const ServicePacket packet = Pushed(result);
  EXPECT_EQ(packet.cmdId, RSP_ACCOUNT_STATE);
  EXPECT_EQ(ReadAccountState(packet).status, 6u);
  const Handled keepAlive = server.Handle(KeepAliveRequest("alice", false), kClient);
  EXPECT_EQ(keepAlive.send.at(0).packet.status, 6u);
}

TEST_F(ControlChannelTest, StopPushesTheServiceStopNotice) {
  LogIn("alice", "pw1");
  for (std::uint32_t status : {0u, 1u}) {
    const ControlResult result = control.Execute("stop alice " + std::to_string(status) + "\n");
    EXPECT_TRUE(IsOk(result)) << result.answer;
    const ServicePacket packet = Pushed(result);
    EXPECT_EQ(packet.cmdId, NTF_SERVICE_STOP);
    EXPECT_EQ(packet.status, status);
  }
  EXPECT_FALSE(IsOk(control.Execute("stop alice 2")));
  EXPECT_FALSE(IsOk(control.Execute("stop alice")));
}

TEST_F(ControlChannelTest, MemberLeftAndCallbackIdPushes) {
  LogIn("alice", "pw1");
  ServicePacket packet = Pushed(control.Execute("member-left alice 13912345678 77"));
  const ConferenceMemberNotice notice = ReadConferenceMemberNotice(packet);
  EXPECT_EQ(packet.cmdId, NTF_CONF_MEMBER);
  EXPECT_EQ(notice.status, 2u);
  EXPECT_EQ(notice.memberId, 77u);
  EXPECT_EQ(notice.phone, "13912345678");

  // The conference command shows who the service has joined; member-left drops the member.
  server.Handle(CallbackRequest("alice", "13912345678", CallbackKind::kConference, "CONF9"),
                kClient);
  server.Handle(CallbackRequest("alice", "02166667777", CallbackKind::kConference, "CONF9"),
                kClient);
  const ControlResult listed = control.Execute("conference alice");
  EXPECT_EQ(listed.answer, "ok CONF9: 13912345678/0x2001 02166667777/0x2002");
  Pushed(control.Execute("member-left alice 13912345678 0x2001"));
  EXPECT_EQ(control.Execute("conference alice").answer, "ok CONF9: 02166667777/0x2002");
  EXPECT_EQ(control.Execute("conference bob").answer, "ok");

  packet = Pushed(control.Execute("callback-id alice 0x2A"));
  EXPECT_EQ(packet.cmdId, NTF_CALLBACK_ID);
  EXPECT_EQ(packet.receiver, 42u);
  EXPECT_FALSE(IsOk(control.Execute("callback-id alice forty-two")));
}

TEST_F(ControlChannelTest, RawPushKeepsTheBodyTextWithItsSpaces) {
  LogIn("alice", "pw1");
  const ControlResult result = control.Execute("push alice 7 3 0x1001   余额 不足  now");
  EXPECT_TRUE(IsOk(result)) << result.answer;
  const ServicePacket packet = Pushed(result);
  EXPECT_EQ(packet.cmdId, 7u);
  EXPECT_EQ(packet.status, 3u);
  EXPECT_EQ(packet.receiver, 0x1001u);
  EXPECT_EQ(std::string(packet.bodyBytes()), Utf8ToGbk("余额 不足  now"));

  const ServicePacket empty = Pushed(control.Execute("push alice 4003 0 0"));
  EXPECT_EQ(empty.cmdId, 4003u);
  EXPECT_EQ(empty.bodyLength(), 0u);
  EXPECT_FALSE(IsOk(control.Execute("push alice 7 3")));
  EXPECT_FALSE(IsOk(control.Execute("push alice x 3 0")));
}

TEST_F(ControlChannelTest, PushesNeedASession) {
  const ControlResult result = control.Execute("stop alice 0");
  EXPECT_TRUE(result.answer.starts_with("error")) << result.answer;
  EXPECT_TRUE(result.pushes.empty());
}

TEST_F(ControlChannelTest, RefuseNextCallAndBalance) {
  LogIn("alice", "pw1");
  EXPECT_TRUE(IsOk(control.Execute("refuse-next-call alice 1")));
  EXPECT_EQ(
      server.Handle(CallStartRequest("alice", "13912345678"), kClient).send.at(0).packet.status,
      1u);
  EXPECT_FALSE(IsOk(control.Execute("refuse-next-call alice 3")));
  EXPECT_FALSE(IsOk(control.Execute("refuse-next-call zed 1")));

  EXPECT_TRUE(IsOk(control.Execute("balance alice 0")));
  EXPECT_EQ(server.Balance("alice"), 0);
  EXPECT_EQ(
      server.Handle(CallStartRequest("alice", "13912345678"), kClient).send.at(0).packet.status,
      2u);
  EXPECT_TRUE(IsOk(control.Execute("balance alice 12.5")));
  EXPECT_EQ(server.Balance("alice"), 1250);
  EXPECT_FALSE(IsOk(control.Execute("balance alice lots")));
  EXPECT_FALSE(IsOk(control.Execute("balance zed 1")));
}

TEST_F(ControlChannelTest, NatModes) {
  EXPECT_TRUE(IsOk(control.Execute("nat off")));
  EXPECT_EQ(nat.mode(), NatMode::kOff);
  EXPECT_TRUE(IsOk(control.Execute("nat garbage")));
  EXPECT_EQ(nat.mode(), NatMode::kGarbage);
  EXPECT_TRUE(IsOk(control.Execute("nat on")));
  EXPECT_EQ(nat.mode(), NatMode::kOn);
  EXPECT_FALSE(IsOk(control.Execute("nat maybe")));
  EXPECT_EQ(nat.mode(), NatMode::kOn);
}

TEST_F(ControlChannelTest, SessionsAndReceivedCounts) {
  EXPECT_EQ(control.Execute("sessions").answer, "ok 0");
  LogIn("alice", "pw1");
  server.Handle(KeepAliveRequest("alice", true), kClient);
  server.Handle(KeepAliveRequest("alice", true), kClient);
  const std::string sessions = control.Execute("sessions").answer;
  EXPECT_EQ(sessions, "ok 1 alice=127.0.0.1:6001/0x1001/in-call");
  EXPECT_EQ(control.Execute("received").answer, "ok total=3 1=2 2=1 nat-probes=0");
}

TEST_F(ControlChannelTest, UnknownAndEmptyCommandsAreErrors) {
  EXPECT_TRUE(control.Execute("dance").answer.starts_with("error unknown command dance"));
  EXPECT_TRUE(control.Execute("   ").answer.starts_with("error"));
  EXPECT_TRUE(IsOk(control.Execute("help")));
}

}  // namespace
}  // namespace corvel::devservice
