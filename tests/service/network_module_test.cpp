#include "service/network_module.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

#include "app/app_log.h"
#include "link_fixture.h"
#include "media/toolkit/host_address.h"
#include "service/client_requests.h"
#include "service/server_messages.h"
#include "service/service_command.h"

namespace corvel {
namespace {

using testing::FreePort;
using testing::LinkFixture;
using testing::WaitFor;

std::vector<std::uint8_t> Wire(ServicePacket packet) {
  std::vector<std::uint8_t> bytes(1024);
  bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
  return bytes;
}

ServicePacket Command(std::uint32_t cmdId) {
  ServicePacket packet;
  packet.cmdId = cmdId;
  return packet;
}

// Holds count consecutive ports so the module cannot bind them.
std::vector<std::unique_ptr<UdpSocket>> HoldPorts(int count) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    const std::uint16_t first = FreePort();
    if (first == 0 || first > 65000) continue;
    std::vector<std::unique_ptr<UdpSocket>> held;
    for (int i = 0; i < count; ++i) {
      auto socket = UdpSocket::Open(nullptr, static_cast<std::uint16_t>(first + i), true);
      if (!socket) break;
      held.push_back(std::move(socket));
    }
    if (static_cast<int>(held.size()) == count) return held;
  }
  return {};
}

class NetworkModuleTest : public LinkFixture {};

TEST_F(NetworkModuleTest, TakenPortMovesTheLinkOneUp) {
  // The next port up must be free too: hold two, release the second.
  auto held = HoldPorts(2);
  ASSERT_EQ(held.size(), 2u);
  const int port = held[0]->localPort();
  held.pop_back();
  ASSERT_TRUE(StartModule("127.0.0.1," + std::to_string(port)));
  EXPECT_EQ(module->localPort(), port + 1);
  const std::string trace = TraceText();
  EXPECT_NE(trace.find("m_SockRecv.Open() Port:" + std::to_string(port) + " Failed\n"),
            std::string::npos);
  EXPECT_NE(trace.find("m_SockRecv.Open() Port:" + std::to_string(port + 1) + " Success\n"),
            std::string::npos);
}

TEST_F(NetworkModuleTest, TenTakenPortsFailInit) {
  auto held = HoldPorts(10);
  ASSERT_EQ(held.size(), 10u);
  EXPECT_FALSE(StartModule("127.0.0.1," + std::to_string(held[0]->localPort())));
  const std::string trace = TraceText();
  int failed = 0;
  for (std::size_t at = trace.find("Failed"); at != std::string::npos;
       at = trace.find("Failed", at + 1)) {
    ++failed;
  }
  EXPECT_EQ(failed, 10);
}

TEST_F(NetworkModuleTest, ForeignLocalAddressIsReplacedPortKept) {
  const std::uint16_t port = FreePort();
  ASSERT_TRUE(StartModule("203.0.113.5," + std::to_string(port)));
  EXPECT_EQ(module->localIp(), Ipv4ToText(HostIPv4Addresses().front()));
  EXPECT_EQ(module->localPort(), port);
}

TEST_F(NetworkModuleTest, SendStampsTheClientIdAndLogsWithoutThePassword) {
  ASSERT_TRUE(StartModule());
  module->setClientId(0x1234);
  ServicePacket keepAlive = KeepAliveRequest("8613800", false);
  keepAlive.sender = 99;  // whatever the caller put there
  module->Send(keepAlive);
  auto received = ServerReceive();
  ASSERT_TRUE(received);
  EXPECT_EQ(received->cmdId, 1u);
  EXPECT_EQ(received->sender, 0x1234u);
  EXPECT_EQ(received->length, 86u);

  module->Send(LoginRequest("8613800", "s3cret"));
  ASSERT_TRUE(ServerReceive());
  const std::string trace = TraceText();
  const std::string dest = "(127.0.0.1:" + std::to_string(server->localPort()) + ")";
  EXPECT_NE(trace.find("[Send]To Dest" + dest +
                       ": CmdID=1 SeqID=0 Sender[4660] Receive[0] Status[0] Data:8613800" +
                       std::string(43, ' ') + "\n"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("CmdID=2 SeqID=0 Sender[4660] Receive[0] Status[0] Data:Send Login "
                       "Packet\n"),
            std::string::npos);
  EXPECT_EQ(trace.find("s3cret"), std::string::npos);
  EXPECT_TRUE(
      std::regex_search(trace, std::regex(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[Send\])")));
}

TEST_F(NetworkModuleTest, ReceivedPacketsAreLoggedAndTheKnownOnesForwarded) {
  ASSERT_TRUE(StartModule());
  ServerSendBytes(Wire(Command(7)));
  ServerSendBytes(Wire(Command(4003)));
  ServicePacket login = LoginAnswerPacket({0x42, 0, "10.00", "139", "800", "abc"});
  ServerSend(login);
  ASSERT_TRUE(WaitFor([&] { return workerQueue.count() == 2; }));
  EXPECT_EQ(workerQueue.Pop(0)->cmdId, 4003u);
  EXPECT_EQ(workerQueue.Pop(0)->cmdId, 4002u);
  ASSERT_TRUE(WaitFor([&] { return module->receivedCount() == 3; }));
  const std::string trace = TraceText();
  EXPECT_NE(trace.find("[1]Recv CmdID[0x7] Seq[0] Sender[0x0] Receiver[0x0] Status[0x0] data=\n"),
            std::string::npos)
      << trace;
  EXPECT_NE(trace.find("[3]Recv CmdID[0xfa2] Seq[0] Sender[0x0] Receiver[0x42] Status[0x0] "
                       "data=Response Login Packet\n"),
            std::string::npos);
  EXPECT_EQ(trace.find("10.00"), std::string::npos);
}

TEST_F(NetworkModuleTest, DatagramRulesOverRealUdp) {
  ASSERT_TRUE(StartModule());
  const auto a = Wire(Command(4001));
  const auto b = Wire(LoginAnswerPacket({1, 3, "", "", "", ""}));
  auto both = a;
  both.insert(both.end(), b.begin(), b.end());
  ServerSendBytes(both);
  const auto split = Wire(AccountStatePacket({0, "12.50"}));
  ServerSendBytes(std::vector<std::uint8_t>(split.begin(), split.begin() + 20));
  ServerSendBytes(std::vector<std::uint8_t>(split.begin() + 20, split.end()));
  auto shortLength = Wire(Command(4006));
  shortLength[3] = 30;
  ServerSendBytes(shortLength);
  ServerSendBytes(Wire(Command(8008)));
  ASSERT_TRUE(WaitFor([&] { return workerQueue.count() == 4; }));
  EXPECT_EQ(workerQueue.Pop(0)->cmdId, 4001u);
  EXPECT_EQ(workerQueue.Pop(0)->cmdId, 4002u);
  const auto joined = workerQueue.Pop(0);
  EXPECT_EQ(joined->cmdId, 4001u);
  EXPECT_EQ(ReadAccountState(*joined).balance, "12.50");
  EXPECT_EQ(workerQueue.Pop(0)->cmdId, 8008u);
  EXPECT_EQ(joined->remoteAddress, (Endpoint{testing::kLoopback, server->localPort()}));
}

TEST_F(NetworkModuleTest, FloodOfJunkLeavesTheLinkWorking) {
  ASSERT_TRUE(StartModule());
  std::mt19937 random(7);
  for (int i = 0; i < 1500; ++i) {
    std::vector<std::uint8_t> junk(1 + random() % 1200);
    for (auto& byte : junk)
      byte = static_cast<std::uint8_t>(random());
    if (i % 3 == 0 && junk.size() >= 4) {  // plausible headers make the assembler work harder
      junk[0] = 0xFF;
      junk[1] = 0xEE;
    }
    ServerSendBytes(junk);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  while (workerQueue.Pop(0)) {
  }
  // A good packet after the flood still arrives (resend: the flood may still fill the socket).
  ASSERT_TRUE(WaitFor(
      [&] {
        ServerSend(Command(8008));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (auto packet = workerQueue.Pop(0); packet; packet = workerQueue.Pop(0)) {
          if (packet->cmdId == 8008 && packet->bodyLength() == 0) return true;
        }
        return false;
      },
      10000));
  EXPECT_LE(workerQueue.count(), PacketQueue::kCapacity);
}

// What a stranger would forge to end or alter the user's session: a log-off, a service stop,
// balance changes, a call-back answer and its id, a login answer.
std::vector<ServicePacket> SessionChangingPackets() {
  return {AccountStatePacket({kAccountLoggedOffByService, "0.00"}),
          ServiceStopNotice(0),
          AccountStatePacket({0, "999.00"}),
          CallStartAnswerPacket({kCallAccepted, "999.00"}),
          CallbackAnswerPacket(0),
          CallbackIdNotice(0x2001),
          LoginAnswerPacket({0x66, 0, "999.00", "1", "2", "x"})};
}

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

struct ForeignSource {
  const char* name;
  const char* configuredHost;  // the account server's address in the configuration
  bool fromServerSocket;       // else from a socket of its own on 127.0.0.1
};

void PrintTo(const ForeignSource& source, std::ostream* out) {
  *out << source.name;
}

class ForeignSourceTest : public LinkFixture,
                          public ::testing::WithParamInterface<ForeignSource> {};

TEST_P(ForeignSourceTest, PacketsFromItNeverReachTheWorker) {
  remoteHost = GetParam().configuredHost;
  ASSERT_TRUE(StartModule());
  auto stranger = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_TRUE(stranger);
  UdpSocket& from = GetParam().fromServerSocket ? *server : *stranger;
  const std::vector<ServicePacket> forged = SessionChangingPackets();
  for (const ServicePacket& packet : forged) {
    const auto bytes = Wire(packet);
    from.SendTo(bytes.data(), static_cast<int>(bytes.size()), testing::kLoopback,
                static_cast<std::uint16_t>(module->localPort()));
  }
  ASSERT_TRUE(WaitFor([&] { return module->foreignDatagrams() == forged.size(); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(workerQueue.count(), 0u);
  EXPECT_EQ(module->receivedCount(), 0u) << "not even logged as received";

  // One line for the source, however many datagrams it sent.
  const std::string trace = TraceText();
  EXPECT_EQ(CountOf(trace, "[Drop]"), 1) << trace;
  const std::string line = "[Drop]From(127.0.0.1:" + std::to_string(from.localPort()) +
                           "): 1 datagram(s) not from the account server " +
                           GetParam().configuredHost + ":" + std::to_string(server->localPort()) +
                           "\n";
  EXPECT_NE(trace.find(line), std::string::npos) << trace;
  EXPECT_TRUE(
      std::regex_search(trace, std::regex(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \[Drop\])")));
}

INSTANTIATE_TEST_SUITE_P(
    Sources, ForeignSourceTest,
    ::testing::Values(ForeignSource{"AnotherPortOfTheServersAddress", "127.0.0.1", false},
                      // Nothing is sent to the configured address; it only has to differ.
                      ForeignSource{"TheServersPortOnAnotherAddress", "192.0.2.10", true}),
    [](const ::testing::TestParamInfo<ForeignSource>& row) { return std::string(row.param.name); });

TEST_F(NetworkModuleTest, TheSamePacketsFromTheServerGoThrough) {
  ASSERT_TRUE(StartModule());
  const std::vector<ServicePacket> packets = SessionChangingPackets();
  for (const ServicePacket& packet : packets)
    ServerSend(packet);
  ASSERT_TRUE(WaitFor([&] { return workerQueue.count() == packets.size(); }));
  for (const ServicePacket& packet : packets) {
    const auto received = workerQueue.Pop(0);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->cmdId, packet.cmdId);
    EXPECT_EQ(received->status, packet.status);
    EXPECT_EQ(received->receiver, packet.receiver);
  }
  EXPECT_EQ(module->foreignDatagrams(), 0u);
  EXPECT_EQ(TraceText().find("[Drop]"), std::string::npos);
}

TEST_F(NetworkModuleTest, AStrangerCannotCompleteNorBreakAPacketWaitingForItsRest) {
  ASSERT_TRUE(StartModule());
  auto stranger = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_TRUE(stranger);
  const auto strangerSend = [&](const std::vector<std::uint8_t>& bytes) {
    stranger->SendTo(bytes.data(), static_cast<int>(bytes.size()), testing::kLoopback,
                     static_cast<std::uint16_t>(module->localPort()));
  };
  const auto genuine = Wire(AccountStatePacket({0, "12.50"}));
  // The forged rest would carry a log-off (Status is byte 20 on) and another balance.
  const auto forged = Wire(AccountStatePacket({kAccountLoggedOffByService, "99.99"}));
  ASSERT_EQ(genuine.size(), forged.size());
  ServerSendBytes(std::vector<std::uint8_t>(genuine.begin(), genuine.begin() + 20));
  // Loopback delivers in the order sent, so the stranger's datagrams arrive in between.
  strangerSend(std::vector<std::uint8_t>(forged.begin() + 20, forged.end()));  // exactly the rest
  strangerSend(Wire(ServiceStopNotice(0)));  // a new packet would drop the waiting one
  ASSERT_TRUE(WaitFor([&] { return module->foreignDatagrams() == 2; }));
  ServerSendBytes(std::vector<std::uint8_t>(genuine.begin() + 20, genuine.end()));
  ASSERT_TRUE(WaitFor([&] { return workerQueue.count() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(workerQueue.count(), 1u);
  const auto joined = workerQueue.Pop(0);
  EXPECT_EQ(joined->cmdId, 4001u);
  EXPECT_EQ(joined->status, 0u);
  EXPECT_EQ(ReadAccountState(*joined).balance, "12.50");
}

TEST_F(NetworkModuleTest, DestructionWhileBothThreadsWaitIsQuick) {
  ASSERT_TRUE(StartModule());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto start = std::chrono::steady_clock::now();
  state.networkModule = nullptr;
  module.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(NetworkModuleTest, AppLogReachesTheTraceLogOnlyWhileTheModuleLives) {
  ASSERT_TRUE(StartModule());
  AppLog(0, "while alive");
  module.reset();
  state.networkModule = nullptr;
  AppLog(0, "after");
  const std::string trace = TraceText();
  EXPECT_NE(trace.find(" while alive\n"), std::string::npos);
  EXPECT_EQ(trace.find("after"), std::string::npos);
}

}  // namespace
}  // namespace corvel
