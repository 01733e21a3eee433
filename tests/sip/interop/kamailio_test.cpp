// The SIP endpoint registering with Kamailio (registrar without authentication), and a
// record-routed call through it, on loopback in a private network namespace.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/config.h"
#include "app/window_messages.h"
#include "sip/interop/peers.h"
#include "sip/interop/private_network.h"
#include "sip/sip_server.h"
#include "sip/ua_peer.h"

namespace corvel {
namespace {

using testing::CountLinesStarting;
using testing::FreeUdpPort;
using testing::HasLine;
using testing::InteropFile;
using testing::Kamailio;
using testing::RecordingPoster;
using testing::Sipp;
using testing::TempFolder;
using testing::UaPeer;
using testing::WaitUntil;

class KamailioTest : public ::testing::Test {
 protected:
  TempFolder folder_;
  std::unique_ptr<Kamailio> kamailio_;
  PhoneLog log_;
  RecordingPoster window_;
  std::unique_ptr<SipServer> server_;
  std::string logPath_;
  int port_ = 0;

  void SetUp() override {
    CORVEL_REQUIRE_PRIVATE_NETWORK();
    kamailio_ = Kamailio::Start(folder_);
    ASSERT_TRUE(kamailio_) << "Kamailio did not start:\n"
                           << testing::ReadFile(folder_ / "kamailio.log");
    logPath_ = folder_ / "SIPPhone.log";
    ASSERT_TRUE(log_.Open(logPath_));
    server_ = std::make_unique<SipServer>(nullptr, &log_, &window_);
  }

  void TearDown() override {
    if (server_) server_->Delete();
  }

  // Creation and the first registration as the phone module does them.
  void CreateAndRegister(const char* user, int period) {
    port_ = FreeUdpPort();
    ASSERT_TRUE(server_->CreateSIPServer(user, "127.0.0.1", static_cast<uint16_t>(port_), 30, 0));
    ASSERT_TRUE(server_->SetProxy("127.0.0.1", static_cast<uint16_t>(kamailio_->port())));
    const SipRegistration timing = RegistrationFor(period);
    server_->Lock();
    ASSERT_TRUE(server_->Regist(nullptr, timing.lifetime));
    server_->Unlock();
    ASSERT_TRUE(server_->StartRegistTimer(timing.period));
  }

  int Posted(uint32_t wParam) {
    int count = 0;
    for (const auto& message : window_.messages()) {
      count += message.number == WM_SIP_REGISTERED && message.wParam == wParam ? 1 : 0;
    }
    return count;
  }
};

TEST_F(KamailioTest, RegistersAndRefreshesEveryPeriod) {
  CreateAndRegister("1001", 1);
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == 2; }, 3000));
  // Three REGISTERs: the first and one refresh per second, all for max(2 x 1, 600) seconds.
  ASSERT_TRUE(WaitUntil([&] { return kamailio_->Requests("REGISTER").size() >= 3; }, 4000));
  const std::vector<std::string> registers = kamailio_->Requests("REGISTER");
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NE(registers[i].find("user=1001 expires=600 cseq=" + std::to_string(i + 1)),
              std::string::npos)
        << registers[i];
  }
  // Each refresh takes the counter down to 1 until its answer puts it back at 2.
  EXPECT_TRUE(WaitUntil([&] { return server_->registCounter() == 2; }, 1500));
  EXPECT_GE(Posted(1), 3);
  EXPECT_EQ(Posted(0), 0);
  // The log lines, exactly.
  EXPECT_TRUE(HasLine(logPath_,
                      "[SUCCESS] CreateSIPServer 127.0.0.1:" + std::to_string(port_) + " Success"));
  EXPECT_TRUE(HasLine(logPath_, "[REGIST] Send Success Rid:1 Expires:600"));
  EXPECT_TRUE(HasLine(logPath_, "SIP Regist Every 1 seconds"));
  EXPECT_GE(CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_REGISTRATION_SUCCESS rid:1 tid:"), 3);
  // Kamailio forces rport and adds received: the address and port it saw.
  EXPECT_GE(CountLinesStarting(logPath_, "[PROCREGISTANSWER] NAT["), 3);
  EXPECT_TRUE(
      HasLine(logPath_, "[PROCREGISTANSWER] NAT[127.0.0.1:" + std::to_string(port_) + "] Code:200"))
      << testing::ReadFile(logPath_);
}

TEST_F(KamailioTest, WithoutAnswersTheCounterFallsTo0) {
  CreateAndRegister("1001", 1);
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == 2; }, 3000));
  ASSERT_TRUE(server_->StartRegistTimer(0));
  kamailio_->Stop();
  ASSERT_TRUE(server_->StartRegistTimer(1));
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == 1; }, 2500));
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == 0; }, 2500));
  // Nothing reported a failure: still "registering", not "failed".
  EXPECT_EQ(Posted(0), 0);
}

TEST_F(KamailioTest, AFailureAnswerSetsMinusOne) {
  CreateAndRegister("reject1001", 40);
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == -1; }, 3000));
  ASSERT_TRUE(WaitUntil([&] { return Posted(0) == 1; }, 1000));
  EXPECT_EQ(Posted(1), 0);
  EXPECT_GE(CountLinesStarting(logPath_, "[SIPEVENT] EXOSIP_REGISTRATION_FAILURE rid:1 tid:"), 1);
  ASSERT_TRUE(
      WaitUntil([&] { return CountLinesStarting(logPath_, "[PROCREGISTANSWER]") == 1; }, 1000));
  EXPECT_EQ(CountLinesStarting(logPath_, "[PROCREGISTANSWER] NAT[127.0.0.1:" +
                                             std::to_string(port_) + "] Code:403"),
            1);
}

TEST_F(KamailioTest, DirectUnregistrationLeavesNoTransactionAndReturnsFalse) {
  CreateAndRegister("1001", 40);
  ASSERT_TRUE(WaitUntil([&] { return server_->registCounter() == 2; }, 3000));
  // The closing sequence of the window.
  ASSERT_TRUE(server_->StartRegistTimer(0));
  std::this_thread::sleep_for(std::chrono::milliseconds(5500));  // RFC 3261 Timer K of the REGISTER
  ASSERT_EQ(server_->stack().TransactionCount(), 0u);
  server_->Lock();
  EXPECT_FALSE(server_->Regist(nullptr, 0));
  server_->Unlock();
  EXPECT_EQ(server_->stack().TransactionCount(), 0u);
  ASSERT_TRUE(WaitUntil([&] { return kamailio_->Requests("REGISTER").size() == 2; }, 3000));
  EXPECT_NE(kamailio_->Requests("REGISTER")[1].find("expires=0 cseq=2"), std::string::npos);
  EXPECT_EQ(CountLinesStarting(logPath_, "[REGIST] Send Regist Direct Rid:1 Expires:0 Return:"), 1);
  server_->Delete();
  EXPECT_TRUE(HasLine(logPath_, "SIP Delete SIP Server"));
  // Kamailio dropped the binding.
  EXPECT_TRUE(WaitUntil(
      [&] {
        const std::string log = testing::ReadFile(kamailio_->logPath());
        return log.find("SAVED 1001 expires=0") != std::string::npos;
      },
      2000));
}

TEST_F(KamailioTest, ACallThroughTheProxyFollowsItsRouteSet) {
  // The core registers its number itself and answers like a phone.
  UaPeer core("1001");
  ASSERT_TRUE(core.ok());
  ua::MessagePtr registration;
  const std::string registrar = "sip:1001@127.0.0.1:" + std::to_string(kamailio_->port());
  const int rid = core.ua().RegisterBuildInitialRegister(core.uri().c_str(), registrar.c_str(),
                                                         nullptr, 600, &registration);
  ASSERT_GT(rid, 0);
  ASSERT_EQ(core.ua().RegisterSendRegister(rid, std::move(registration)), 0);
  ASSERT_TRUE(core.WaitFor(ua::EXOSIP_REGISTRATION_SUCCESS, 3000));

  std::unique_ptr<Sipp> sipp =
      Sipp::Start(folder_, InteropFile("scenarios/uac_call_via_proxy.xml"),
                  "127.0.0.1:" + std::to_string(kamailio_->port()), 0, {"-s", "1001"});
  ASSERT_TRUE(sipp);
  ua::EventPtr invite = core.WaitFor(ua::EXOSIP_CALL_INVITE, 10000);
  ASSERT_TRUE(invite);
  // The INVITE came from the proxy.
  EXPECT_EQ(invite->sourcePort, kamailio_->port());
  ASSERT_EQ(core.ua().CallSendAnswer(invite->tid, 180, nullptr), 0);
  // Rings a moment, as a phone does: Kamailio's two workers may otherwise pass on a 200 sent
  // right behind the 180 before it, which sipp's scenario takes as a failure.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_EQ(core.ua().CallSendAnswer(invite->tid, 200, nullptr), 0);
  ua::EventPtr ack = core.WaitFor(ua::EXOSIP_CALL_ACK, 10000);
  ASSERT_TRUE(ack) << sipp->Messages() << "\nKamailio:\n"
                   << testing::ReadFile(kamailio_->logPath());
  EXPECT_EQ(ack->sourcePort, kamailio_->port());
  ASSERT_EQ(core.ua().CallTerminate(ack->cid, ack->did), 0);
  EXPECT_TRUE(core.WaitFor(ua::EXOSIP_CALL_RELEASED, 10000));
  ASSERT_TRUE(sipp->Succeeded(25000)) << sipp->Report();
  // The BYE went through Kamailio (loose-routed there).
  EXPECT_EQ(kamailio_->Requests("BYE").size(), 1u);
}

}  // namespace
}  // namespace corvel
