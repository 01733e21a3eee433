#include "service/buss_thread.h"

#include <gtest/gtest.h>

#include <mutex>

#include "link_fixture.h"
#include "media/toolkit/tick.h"
#include "recording_peers.h"
#include "service/client_requests.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel {
namespace {

using testing::LinkFixture;
using testing::RecordingPeers;
using testing::WaitFor;

using Calls = std::vector<std::string>;

class HandlerTest : public LinkFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartModule());
    state.loggedIn = true;
  }
  BussThread worker{state, workerQueue, peers};
  RecordingPeers peers;
};

TEST_F(HandlerTest, AccountLoggedOffByTheService) {
  state.balance.set("5");
  worker.Handle(AccountStatePacket({6, "0.00"}));
  EXPECT_EQ(peers.calls(), (Calls{"hang up", "command 1006", "main 1225 6", "repaint balance"}));
  EXPECT_EQ(state.lastStatus, 6);
  EXPECT_EQ(state.balance.get(), "0.00");
  EXPECT_FALSE(state.hasBalance);
}

TEST_F(HandlerTest, AccountStateRules) {
  worker.Handle(AccountStatePacket({0, "12.50"}));
  EXPECT_EQ(peers.calls(), (Calls{"repaint balance"}));
  EXPECT_TRUE(state.hasBalance);

  peers.mainWindow = false;
  peers.loginWindow = true;
  worker.Handle(AccountStatePacket({6, "1"}));
  EXPECT_EQ(peers.calls().back(), "login 1225 6");

  state.loggedIn = false;
  const std::size_t before = peers.calls().size();
  worker.Handle(AccountStatePacket({0, "99"}));
  EXPECT_EQ(peers.calls().size(), before);
  EXPECT_EQ(state.balance.get(), "1");
}

TEST_F(HandlerTest, LoginAnswers) {
  peers.loginWindow = true;
  worker.Handle(LoginAnswerPacket({0x51, 0, "12.50", "13912345678", "80001001", "qwerty"}));
  EXPECT_EQ(module->clientId(), 0x51u);
  EXPECT_EQ(state.balance.get(), "12.50");
  EXPECT_EQ(state.linkedPhone.get(), "13912345678");
  EXPECT_EQ(state.sipNumber.get(), "80001001");
  EXPECT_EQ(state.codeTable.get(), "qwerty");
  EXPECT_TRUE(state.hasBalance);

  // A refusal still takes the client identifier but nothing else.
  worker.Handle(LoginAnswerPacket({0x52, 3, "", "", "", ""}));
  EXPECT_EQ(module->clientId(), 0x52u);
  EXPECT_EQ(state.lastStatus, 3);
  EXPECT_EQ(state.sipNumber.get(), "80001001");

  peers.loginWindow = false;
  worker.Handle(LoginAnswerPacket({0x53, 6, "", "", "", ""}));
  EXPECT_EQ(peers.calls(), (Calls{"login 1225 0", "login 1225 3", "main 1225 6"}));
}

TEST_F(HandlerTest, CallStartAnswers) {
  state.hasBalance = false;
  worker.Handle(CallStartAnswerPacket({3, "7.25"}));
  EXPECT_EQ(state.balance.get(), "7.25");
  EXPECT_FALSE(state.hasBalance);  // left as it was
  worker.Handle(CallStartAnswerPacket({2, ""}));
  EXPECT_EQ(peers.calls(), (Calls{"repaint balance", "hang up", "main 1324 2"}));

  peers.mainWindow = false;
  worker.Handle(CallStartAnswerPacket({0, ""}));
  EXPECT_EQ(peers.calls().size(), 3u);
}

TEST_F(HandlerTest, CallbackAnswers) {
  worker.Handle(CallbackAnswerPacket(0));
  EXPECT_EQ(peers.calls(), (Calls{"timeout off"}));

  peers.callType.set(kCallTypeCallback);
  peers.callState = 1;
  peers.conferenceWindow = true;
  worker.Handle(CallbackAnswerPacket(0));
  worker.Handle(CallbackAnswerPacket(4));
  EXPECT_EQ(peers.calls(),
            (Calls{"timeout off", "timeout off", "text 回拨成功", "finish", "running off",
                   "add member", "timeout off", "text 回拨失败", "finish", "running off"}));
}

TEST_F(HandlerTest, CallbackIdAndConferenceMembersAndServiceStop) {
  worker.Handle(CallbackIdNotice(77));  // no call-back in progress
  peers.callType.set(kCallTypeCallback);
  peers.callState = 1;
  worker.Handle(CallbackIdNotice(78));
  worker.Handle(ConferenceMemberNoticePacket({2, 9, "13912345678"}));  // no conference window
  peers.conferenceWindow = true;
  worker.Handle(ConferenceMemberNoticePacket({1, 9, "13912345678"}));
  worker.Handle(ConferenceMemberNoticePacket({2, 9, "13912345678"}));
  worker.Handle(ServiceStopNotice(0));
  peers.sipEndpoint = false;
  worker.Handle(ServiceStopNotice(1));
  EXPECT_EQ(peers.calls(), (Calls{"identify 78", "remove member 13912345678 9", "hang up",
                                  "command 1006", "main 1325 0", "command 1006", "main 1325 1"}));
}

TEST_F(HandlerTest, AreaAnswersDialOrSetTheLinkedPhone) {
  worker.Handle(AreaAnswerPacket({0, 1, "0021345678", "021", "上海市"}));
  worker.Handle(AreaAnswerPacket({0, 1, "1087654321", "010", "北京市"}));
  worker.Handle(AreaAnswerPacket({0, 1, "01087654321", "010", "北京市"}));
  worker.Handle(AreaAnswerPacket({1, 1, "21345678", "", "上海市"}));
  worker.Handle(AreaAnswerPacket({0, 0, "13912345678", "020", "广州市"}));
  EXPECT_EQ(state.linkedPhone.get(), "013912345678");
  worker.Handle(AreaAnswerPacket({0, 5, "12345", "010", ""}));  // unknown mode: nothing
  EXPECT_EQ(peers.calls(), (Calls{"invite 21345678", "invite 01087654321", "invite 01087654321",
                                  "invite 21345678", "repaint main"}));
  const std::string trace = TraceText();
  EXPECT_NE(trace.find("BussThread Mode:1 Phone:21345678 AreaCode:021 AreaName:上海市 status:1"),
            std::string::npos)
      << trace;
}

TEST_F(HandlerTest, OtherCommandsAreConsumedWithoutEffect) {
  for (std::uint32_t id : {1u, 6u, 4003u, 4005u, 4008u, 4010u}) {
    ServicePacket packet;
    packet.cmdId = id;
    worker.Handle(packet);
  }
  EXPECT_TRUE(peers.calls().empty());
}

class WorkerLoopTest : public LinkFixture {
 protected:
  void SetUp() override { ASSERT_TRUE(StartModule()); }
  void TearDown() override {
    worker.RequestStop();
    ASSERT_TRUE(WaitFor([&] { return worker.stopped(); }));
    LinkFixture::TearDown();
  }
  static BussThread::Timing FastTiming() {
    BussThread::Timing timing;
    timing.keepAliveIntervalMs = 400;
    return timing;
  }
  RecordingPeers peers;
  BussThread worker{state, workerQueue, peers, FastTiming()};
};

TEST_F(WorkerLoopTest, KeepAliveCadenceAndStatusDuringACall) {
  state.account.set("8613800");
  state.loggedIn = true;
  ASSERT_TRUE(worker.Resume());
  auto first = ServerReceive();
  ASSERT_TRUE(first);
  const std::uint32_t firstTick = TickCount();
  EXPECT_EQ(first->cmdId, CMD_KEEPALIVE);
  EXPECT_EQ(first->status, 0u);
  peers.callState = kCallStateInCall;
  auto second = ServerReceive();
  ASSERT_TRUE(second);
  const std::uint32_t gap = TickSince(firstTick, TickCount());
  EXPECT_GE(gap, 350u);
  EXPECT_LE(gap, 900u);
  EXPECT_EQ(second->status, 1u);
}

TEST_F(WorkerLoopTest, ResetSendsTheNextKeepAliveAtOnce) {
  state.loggedIn = true;
  BussThread::Timing slow;
  slow.keepAliveIntervalMs = 30000;
  BussThread slowWorker(state, workerQueue, peers, slow);
  ASSERT_TRUE(slowWorker.Resume());
  ASSERT_TRUE(ServerReceive());
  const std::uint32_t start = TickCount();
  module->ResetKeepAlive();
  ASSERT_TRUE(ServerReceive(1000));
  EXPECT_LE(TickSince(start, TickCount()), 300u);
  slowWorker.RequestStop();
}

TEST_F(WorkerLoopTest, NoKeepAliveWhileLoggedOff) {
  ASSERT_TRUE(worker.Resume());
  EXPECT_FALSE(ServerReceive(700));
}

TEST_F(WorkerLoopTest, StopWhileWaitingIsQuickAndLogged) {
  EXPECT_TRUE(worker.stopped());
  ASSERT_TRUE(worker.Resume());
  ASSERT_TRUE(WaitFor([&] { return !worker.stopped(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::uint32_t start = TickCount();
  worker.RequestStop();
  ASSERT_TRUE(WaitFor([&] { return worker.stopped(); }));
  EXPECT_LE(TickSince(start, TickCount()), 150u);
  const std::string trace = TraceText();
  EXPECT_NE(trace.find("BussThread Thread Working\n"), std::string::npos);
  EXPECT_NE(trace.find("BussThread Thread Stop Working\n"), std::string::npos);
}

TEST_F(WorkerLoopTest, PacketsFromTheServerReachTheWindowsInOrder) {
  peers.mainWindow = true;
  state.loggedIn = true;
  ASSERT_TRUE(worker.Resume());
  ServerSend(CallStartAnswerPacket({1, ""}));
  ServerSend(ServiceStopNotice(0));
  ASSERT_TRUE(WaitFor([&] { return peers.calls().size() >= 5; }));
  EXPECT_EQ(peers.calls(),
            (Calls{"hang up", "main 1324 1", "hang up", "command 1006", "main 1325 0"}));
}

}  // namespace
}  // namespace corvel
