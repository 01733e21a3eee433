// The SIP endpoint on its own: creation checks, the log lines, registration and its refresh
// against a hand-written registrar, the direct unregistration and the event dispatch.
#include "sip/sip_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "app/window_messages.h"
#include "media/toolkit/host_address.h"
#include "sip/raw_peer.h"
#include "sip/sip_test_support.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::AnswerTo;
using testing::CountLinesStarting;
using testing::FreeUdpPort;
using testing::HasLine;
using testing::HeaderValue;
using testing::LogTexts;
using testing::RawPeer;
using testing::RecordingPoster;
using testing::TempFolder;
using testing::WaitUntil;

class NoMedia : public RtpMedia {
 public:
  std::string localHost() const override { return "127.0.0.1"; }
  uint16_t localPort() const override { return 0; }
  bool natMode() const override { return false; }
  std::string natHost() const override { return {}; }
  uint16_t natPort() const override { return 0; }
  CodecTable codecTable() const override { return {}; }
  bool SetRemote(const char*, uint16_t) override { return false; }
  bool SetSendPayloadType(uint8_t) override { return false; }
  void EndRTPSession() override {}
};

// Records what the event thread hands to the call side.
class RecordingHandlers : public SipCallHandlers {
 public:
  void ReleaseStaleCalls() override { ++sweeps; }
  void ProcInvite(const ua::Event&) override { ++invites; }
  void ProcMessage(const ua::Event& event) override {
    if (event.request && event.request->sip_method) lastMethod = event.request->sip_method;
    ++messages;
  }
  std::atomic<int> sweeps{0};
  std::atomic<int> invites{0};
  std::atomic<int> messages{0};
  std::string lastMethod;  // written by the event thread before messages is raised
};

class SipServerTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  PhoneLog log_;
  NoMedia media_;
  RecordingPoster window_;
  SipServer server_{&media_, &log_, &window_};
  RawPeer registrar_;
  std::string logPath_;

  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty());
    logPath_ = folder_ / "SIPPhone.log";
    ASSERT_TRUE(log_.Open(logPath_));
    ASSERT_TRUE(registrar_.ok());
  }

  int Create(const char* user = "1001") {
    const int port = FreeUdpPort();
    EXPECT_TRUE(server_.CreateSIPServer(user, "127.0.0.1", static_cast<uint16_t>(port), 30, 0));
    return port;
  }

  // The next REGISTER at the hand-written registrar.
  std::optional<std::string> NextRegister(int timeoutMs = 3000) {
    return registrar_.ReceiveStarting("REGISTER ", timeoutMs);
  }

  void Answer(const std::string& request, int status, const char* reason) {
    ASSERT_TRUE(registrar_.SendRaw(AnswerTo(request, status, reason, "r1"), server_.localPort()));
  }
};

struct CreationCase {
  const char* name;
  const char* user;
  const char* host;
  int port;  // -1: a free one
};

class SipServerCreationTest : public SipServerTest,
                              public ::testing::WithParamInterface<CreationCase> {};

TEST_P(SipServerCreationTest, RefusesBadArgumentsWithoutALogLine) {
  const CreationCase& c = GetParam();
  const int port = c.port < 0 ? FreeUdpPort() : c.port;
  EXPECT_FALSE(server_.CreateSIPServer(c.user, c.host, static_cast<uint16_t>(port), 30, 0));
  EXPECT_EQ(server_.state(), 0);
  // Lines are written only while running: this failure comes before.
  EXPECT_TRUE(LogTexts(logPath_).empty());
  // The endpoint is left reusable.
  Create();
  EXPECT_EQ(server_.state(), 1);
}

INSTANTIATE_TEST_SUITE_P(Arguments, SipServerCreationTest,
                         ::testing::Values(CreationCase{"no_user", nullptr, "127.0.0.1", -1},
                                           CreationCase{"empty_user", "", "127.0.0.1", -1},
                                           CreationCase{"no_host", "1001", nullptr, -1},
                                           CreationCase{"port_1023", "1001", "127.0.0.1", 1023},
                                           CreationCase{"port_0", "1001", "127.0.0.1", 0}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(SipServerTest, CreationLogsAndDeleteUndoesIt) {
  const int port = Create();
  EXPECT_EQ(server_.state(), 1);
  EXPECT_EQ(server_.localHost(), "127.0.0.1");
  EXPECT_EQ(server_.localPort(), port);
  EXPECT_EQ(server_.userName(), "1001");
  EXPECT_EQ(server_.callTimeout(), 30u);
  EXPECT_EQ(server_.nextIdentify(), 1u);
  EXPECT_EQ(server_.registCounter(), 0);
  EXPECT_TRUE(server_.Delete());
  EXPECT_EQ(server_.state(), 0);
  EXPECT_EQ(server_.userName(), "");
  const std::vector<std::string> lines = LogTexts(logPath_);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "[SUCCESS] CreateSIPServer 127.0.0.1:" + std::to_string(port) + " Success");
  EXPECT_EQ(lines[1], "SIP Delete SIP Server");
  // Every operation but creation fails once deleted.
  EXPECT_FALSE(server_.SetProxy("127.0.0.1", 5060));
  EXPECT_FALSE(server_.Regist(nullptr, 600));
  EXPECT_FALSE(server_.StartRegistTimer(40));
}

TEST_F(SipServerTest, AnAddressNotOfThisMachineIsReplaced) {
  const int port = FreeUdpPort();
  // 192.0.2.1 (TEST-NET-1) is nobody's own address.
  ASSERT_TRUE(server_.CreateSIPServer("1001", "192.0.2.1", static_cast<uint16_t>(port), 0, 0));
  const std::vector<uint32_t> own = HostIPv4Addresses();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(server_.localHost(), Ipv4ToText(own.front()));
  EXPECT_EQ(server_.callTimeout(), 30u);  // 0 keeps the default
}

TEST_F(SipServerTest, APortInUseFailsListeningAndLeavesItReusable) {
  RawPeer squatter;
  ASSERT_TRUE(squatter.ok());
  EXPECT_FALSE(
      server_.CreateSIPServer("1001", "127.0.0.1", static_cast<uint16_t>(squatter.port()), 30, 0));
  EXPECT_EQ(server_.state(), 0);
  EXPECT_TRUE(HasLine(logPath_, "[ERROR] CreateSIPServer eXosip_listen_addr(" +
                                    std::to_string(squatter.port()) + ") Failed"));
  EXPECT_TRUE(HasLine(logPath_, "SIP Delete SIP Server"));
  Create();
  EXPECT_EQ(server_.state(), 1);
}

TEST_F(SipServerTest, WithoutAProxyRegistFailsAndSendsNothing) {
  Create();
  EXPECT_FALSE(server_.Regist(nullptr, 600));
  EXPECT_TRUE(HasLine(logPath_, "[REGIST] Proxy:(null) Failed"));
  ASSERT_TRUE(server_.SetProxy("127.0.0.1", 0));
  EXPECT_FALSE(server_.Regist(nullptr, 600));
  EXPECT_TRUE(HasLine(logPath_, "[REGIST] Proxy:127.0.0.1 Failed"));
  EXPECT_EQ(server_.stack().TransactionCount(), 0u);
}

TEST_F(SipServerTest, RegistrationSuccessAndFailureReachTheWindow) {
  const int port = Create();
  ASSERT_TRUE(server_.SetProxy("127.0.0.1", static_cast<uint16_t>(registrar_.port())));
  server_.Lock();
  EXPECT_TRUE(server_.Regist(nullptr, 600));
  server_.Unlock();
  std::optional<std::string> request = NextRegister();
  ASSERT_TRUE(request);
  const std::string proxy = "127.0.0.1:" + std::to_string(registrar_.port());
  EXPECT_EQ(request->rfind("REGISTER sip:1001@" + proxy + " SIP/2.0", 0), 0u);
  EXPECT_NE(HeaderValue(*request, "From").find("sip:1001@127.0.0.1:" + std::to_string(port)),
            std::string::npos);
  EXPECT_EQ(HeaderValue(*request, "Expires"), "600");
  EXPECT_TRUE(HasLine(logPath_, "[REGIST] Send Success Rid:1 Expires:600"));

  Answer(*request, 200, "OK");
  ASSERT_TRUE(WaitUntil([&] { return server_.registCounter() == 2; }, 3000));
  ASSERT_TRUE(WaitUntil([&] { return window_.messages().size() == 1; }, 1000));
  EXPECT_EQ(window_.messages()[0].number, WM_SIP_REGISTERED);
  EXPECT_EQ(window_.messages()[0].wParam, 1u);
  EXPECT_EQ(window_.messages()[0].lParam, 0);
  ASSERT_TRUE(
      WaitUntil([&] { return CountLinesStarting(logPath_, "[PROCREGISTANSWER]") == 1; }, 1000));
  // The hand-written registrar fills neither received nor rport: both print empty.
  EXPECT_TRUE(HasLine(logPath_, "[PROCREGISTANSWER] NAT[:] Code:200"));
  EXPECT_EQ(CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_REGISTRATION_SUCCESS rid:1 tid:"), 1);

  server_.Lock();
  EXPECT_TRUE(server_.Regist(nullptr, 600));
  server_.Unlock();
  EXPECT_EQ(server_.registCounter(), 1);  // lowered as the REGISTER is built
  request = NextRegister();
  ASSERT_TRUE(request);
  EXPECT_EQ(HeaderValue(*request, "CSeq"), "2 REGISTER");
  Answer(*request, 403, "Forbidden");
  ASSERT_TRUE(WaitUntil([&] { return server_.registCounter() == -1; }, 3000));
  ASSERT_TRUE(WaitUntil([&] { return window_.messages().size() == 2; }, 1000));
  EXPECT_EQ(window_.messages()[1].wParam, 0u);
  // A failure is not lowered by the next REGISTER.
  server_.Lock();
  EXPECT_TRUE(server_.Regist(nullptr, 600));
  server_.Unlock();
  EXPECT_EQ(server_.registCounter(), -1);
}

TEST_F(SipServerTest, TheRefreshRegistersEveryPeriodAndFallsBackWithoutAnswers) {
  Create();
  ASSERT_TRUE(server_.SetProxy("127.0.0.1", static_cast<uint16_t>(registrar_.port())));
  server_.Lock();
  ASSERT_TRUE(server_.Regist(nullptr, 600));
  server_.Unlock();
  std::optional<std::string> first = NextRegister();
  ASSERT_TRUE(first);
  Answer(*first, 200, "OK");
  ASSERT_TRUE(WaitUntil([&] { return server_.registCounter() == 2; }, 3000));

  ASSERT_TRUE(server_.StartRegistTimer(1));
  EXPECT_TRUE(server_.hasRegistTimer());
  EXPECT_EQ(server_.registPeriod(), 1);
  EXPECT_TRUE(HasLine(logPath_, "SIP Regist Every 1 seconds"));
  // First refresh, one period later: lifetime max(2 x 1, 600).
  const auto started = std::chrono::steady_clock::now();
  std::optional<std::string> refresh = NextRegister(2500);
  ASSERT_TRUE(refresh);
  const auto after = std::chrono::steady_clock::now() - started;
  EXPECT_GE(after, std::chrono::milliseconds(900));
  EXPECT_EQ(HeaderValue(*refresh, "Expires"), "600");
  EXPECT_EQ(HeaderValue(*refresh, "Call-ID"), HeaderValue(*first, "Call-ID"));
  EXPECT_EQ(server_.registCounter(), 1);
  // Unanswered; the next refresh lowers the counter to 0 (and may not send a new REGISTER
  // while that one is pending).
  ASSERT_TRUE(WaitUntil([&] { return server_.registCounter() == 0; }, 2500));
  ASSERT_TRUE(WaitUntil(
      [&] {
        return HasLine(logPath_,
                       "[REGIST] eXosip_register_build_initial_register Failed Rid:-3 Expires:600");
      },
      1000));

  ASSERT_TRUE(server_.StartRegistTimer(0));
  EXPECT_FALSE(server_.hasRegistTimer());
  EXPECT_TRUE(HasLine(logPath_, "SIP Kill Regist Time Event"));
}

TEST_F(SipServerTest, DirectUnregistrationLeavesNoTransactionAndReturnsFalse) {
  Create();
  ASSERT_TRUE(server_.SetProxy("127.0.0.1", static_cast<uint16_t>(registrar_.port())));
  server_.Lock();
  const bool result = server_.Regist(nullptr, 0);
  server_.Unlock();
  EXPECT_FALSE(result);
  std::optional<std::string> request = NextRegister();
  ASSERT_TRUE(request);
  EXPECT_EQ(HeaderValue(*request, "Expires"), "0");
  EXPECT_EQ(server_.stack().TransactionCount(), 0u);
  EXPECT_EQ(CountLinesStarting(logPath_, "[REGIST] Send Regist Direct Rid:1 Expires:0 Return:"), 1);
  // Sent once only: no transaction repeats it.
  EXPECT_FALSE(NextRegister(1200));
}

TEST(SipServerRefreshTest, TheLifetimeIsTwicePeriodAtLeast600) {
  // The refresh asks for 2 x period, raised to 600: 40 -> 600, 300 -> 600, 301 -> 602.
  struct Case {
    int period;
    std::string expires;
  };
  for (const Case& c : {Case{40, "600"}, Case{300, "600"}, Case{301, "602"}, Case{1, "600"}}) {
    TempFolder folder;
    PhoneLog log;
    ASSERT_TRUE(log.Open(folder / "SIPPhone.log"));
    SipServer server(nullptr, &log, nullptr);
    RawPeer registrar;
    ASSERT_TRUE(
        server.CreateSIPServer("1001", "127.0.0.1", static_cast<uint16_t>(FreeUdpPort()), 30, 0));
    ASSERT_TRUE(server.SetProxy("127.0.0.1", static_cast<uint16_t>(registrar.port())));
    // The period is stored by the timer; the refresh is what the timer calls, here at once.
    ASSERT_TRUE(server.StartRegistTimer(c.period));
    server.RefreshRegistration();
    std::optional<std::string> request = registrar.ReceiveStarting("REGISTER ", 3000);
    ASSERT_TRUE(request);
    EXPECT_EQ(HeaderValue(*request, "Expires"), c.expires) << "period " << c.period;
  }
}

TEST_F(SipServerTest, EventsAreLoggedAndDispatched) {
  RecordingHandlers handlers;
  server_.SetCallHandlers(&handlers);
  const int port = Create();
  // An idle endpoint sweeps once and then sleeps until something happens.
  ASSERT_TRUE(WaitUntil([&] { return handlers.sweeps >= 1; }, 1000));
  RawPeer peer;
  const std::map<std::string, std::string> vars = {{"core", std::to_string(port)},
                                                   {"me", std::to_string(peer.port())}};
  // An OPTIONS outside a call: MESSAGE_NEW, logged and given to ProcMessage.
  peer.Send(
      "OPTIONS sip:1001@127.0.0.1:{core} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKo1;rport\n"
      "From: <sip:x@127.0.0.1>;tag=a\nTo: <sip:1001@127.0.0.1>\nCall-ID: o1@127.0.0.1\n"
      "CSeq: 1 OPTIONS\nContent-Length: 0\n\n",
      port, vars);
  ASSERT_TRUE(WaitUntil([&] { return handlers.messages == 1; }, 3000));
  EXPECT_EQ(handlers.lastMethod, "OPTIONS");
  EXPECT_EQ(CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_MESSAGE_NEW tid:"), 1);
  // An INVITE, then its CANCEL: CALL_INVITE to ProcInvite, CALL_CANCELLED as UNKNOWN:16.
  const char* invite =
      "{method} sip:1001@127.0.0.1:{core} SIP/2.0\n"
      "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKi1;rport\n"
      "From: <sip:x@127.0.0.1>;tag=b\nTo: <sip:1001@127.0.0.1>\nCall-ID: i1@127.0.0.1\n"
      "CSeq: 1 {method}\nContact: <sip:x@127.0.0.1:{me}>\nContent-Length: 0\n\n";
  std::map<std::string, std::string> inviteVars = vars;
  inviteVars["method"] = "INVITE";
  peer.Send(invite, port, inviteVars);
  ASSERT_TRUE(WaitUntil([&] { return handlers.invites == 1; }, 3000));
  inviteVars["method"] = "CANCEL";
  peer.Send(invite, port, inviteVars);
  ASSERT_TRUE(WaitUntil(
      [&] {
        return CountLinesStarting(logPath_, "[SIPEVENT] UNKNOWN:16 TextInfo:Call cancelled tid:") ==
               1;
      },
      3000));
  EXPECT_EQ(CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_CALL_INVITE tid:"), 1);
  server_.Delete();
  server_.SetCallHandlers(nullptr);
}

// Requests outside any call are anyone's to send; a flood of them from strangers is still handed
// on, but its log lines stay under four per five seconds.
TEST_F(SipServerTest, AFloodOfRequestsOutsideCallsWritesBoundedLines) {
  RecordingHandlers handlers;
  server_.SetCallHandlers(&handlers);
  const int port = Create();
  std::vector<std::unique_ptr<RawPeer>> strangers;
  for (int i = 0; i < 4; ++i) {
    strangers.push_back(std::make_unique<RawPeer>());
    ASSERT_TRUE(strangers.back()->ok());
  }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 1000; ++i) {
    RawPeer& from = *strangers[static_cast<std::size_t>(i) % strangers.size()];
    from.Send(
        "OPTIONS sip:1001@127.0.0.1:{core} SIP/2.0\n"
        "Via: SIP/2.0/UDP 127.0.0.1:{me};branch=z9hG4bKfl{id};rport\n"
        "From: <sip:x@127.0.0.1>;tag=f{id}\nTo: <sip:1001@127.0.0.1>\nCall-ID: fl{id}@127.0.0.1\n"
        "CSeq: 1 OPTIONS\nContent-Length: 0\n\n",
        port,
        {{"core", std::to_string(port)},
         {"me", std::to_string(from.port())},
         {"id", std::to_string(i)}});
    if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The core takes at most its transaction bound of them at a time.
  ASSERT_TRUE(WaitUntil([&] { return handlers.messages >= 200; }, 5000));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const int lines = CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_MESSAGE_NEW tid:");
  EXPECT_GE(lines, 1);
  EXPECT_LE(lines, 4 * (static_cast<int>(seconds / 5.0) + 1)) << handlers.messages.load();
  server_.Delete();
  server_.SetCallHandlers(nullptr);
}

}  // namespace
}  // namespace corvel
