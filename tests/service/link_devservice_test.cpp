// The service link from start to finish against the development service: login, keep-alive,
// and the service's own notices reaching the windows through the business worker.
#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <random>
#include <sstream>

#include "link_fixture.h"
#include "recording_peers.h"
#include "service/client_requests.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "service/service_link.h"
#include "support/child_process.h"
#include "support/temp_folder.h"

#ifndef CORVEL_DEVSERVICE_EXE
#error "CORVEL_DEVSERVICE_EXE must name the development service binary"
#endif

namespace corvel {
namespace {

using testing::TempFolder;
using testing::WorkingFolderScope;
using testing::WriteFile;

// The login window is open until the login succeeds; then the main window is the target.
class Windows : public testing::RecordingPeers {
 public:
  Windows() {
    loginWindow = true;
    mainWindow = false;
  }
  void LoginClosed() {
    loginWindow = false;
    mainWindow = true;
  }
};

template <typename Condition>
bool Eventually(Condition condition, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class LinkAgainstServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service =
        testing::ChildProcess::Start({CORVEL_DEVSERVICE_EXE, "--account-port", "0", "--nat-port",
                                      "0", "--control-port", "0", "--callback-id-delay-ms", "0"},
                                     folder / "service.log");
    ASSERT_TRUE(service);
    const auto line = service->ReadLine(10000);
    ASSERT_TRUE(line) << "the development service did not start";
    accountPort = PortAfter(*line, "account=");
    controlPort = PortAfter(*line, "control=");
    std::filesystem::create_directory(folder / "log");
    WriteFile(folder / "CorvelConfig.ini",
              "[UDP]\nLocal=127.0.0.1," + std::to_string(testing::FreePort()) +
                  "\nRemote=127.0.0.1," + std::to_string(accountPort) + "\n");
    BussThread::Timing timing;
    timing.keepAliveIntervalMs = keepAliveIntervalMs;
    link = std::make_unique<ServiceLink>(state, windows, timing);
    ASSERT_TRUE(link->CreateNetworkModule("./CorvelConfig.ini"));
    ASSERT_TRUE(link->CreateWorker());
    ASSERT_TRUE(link->ResumeWorker());
  }
  void TearDown() override {
    if (link) {
      link->RequestWorkerStop();
      link.reset();
    }
  }

  static int PortAfter(const std::string& line, const std::string& key) {
    const std::size_t at = line.find(key);
    return at == std::string::npos ? 0 : std::stoi(line.substr(line.find(':', at) + 1));
  }

  bool Control(const std::string& command) {
    auto client = testing::ChildProcess::Start(
        {CORVEL_DEVSERVICE_EXE, "control", "127.0.0.1:" + std::to_string(controlPort), command},
        folder / "control.log");
    const auto status = client ? client->Wait(5000) : std::nullopt;
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
  }

  std::string ServiceLog() const { return testing::ReadFile(folder / "service.log"); }
  std::string TraceText() const { return testing::ReadFile(folder / "log/UdpNetwork.log"); }

  // Logged in as demo with the main window open.
  void LogIn() {
    state.account.set("demo");
    link->module()->Send(LoginRequest("demo", "demo123"));
    ASSERT_TRUE(Eventually([&] { return windows.Saw("login 1225 0"); }));
    state.loggedIn = true;
    windows.LoginClosed();
    // The first keep-alive and its answer, before a test begins.
    link->module()->ResetKeepAlive();
    ASSERT_TRUE(Eventually([&] { return windows.Saw("repaint balance"); }));
  }

  // Sends packet to the client from a socket that is not the account server's.
  void SendFrom(UdpSocket& socket, ServicePacket packet) {
    std::vector<std::uint8_t> bytes(1024);
    bytes.resize(packet.Serialize(bytes.data(), bytes.size()));
    socket.SendTo(bytes.data(), static_cast<int>(bytes.size()), testing::kLoopback,
                  static_cast<std::uint16_t>(link->module()->localPort()));
  }

  std::size_t CountInLog(const std::string& text, const std::string& part) const {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
      ++count;
    }
    return count;
  }

  int keepAliveIntervalMs = 300;
  TempFolder folder;
  WorkingFolderScope scope{folder.path()};
  std::unique_ptr<testing::ChildProcess> service;
  int accountPort = 0;
  int controlPort = 0;
  ClientState state;
  Windows windows;
  std::unique_ptr<ServiceLink> link;
};

TEST_F(LinkAgainstServiceTest, LoginKeepAliveAndTheServicesNotices) {
  state.account.set("demo");
  link->module()->Send(LoginRequest("demo", "demo123"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("login 1225 0"); }));
  EXPECT_NE(link->module()->clientId(), 0u);
  EXPECT_EQ(state.sipNumber.get(), "80001001");
  EXPECT_EQ(state.linkedPhone.get(), "13912345678");
  EXPECT_EQ(state.balance.get(), "100.00");
  EXPECT_TRUE(state.hasBalance);

  // The login window closes on success; from now on the main window is the worker's target.
  state.loggedIn = true;
  windows.LoginClosed();
  ASSERT_TRUE(Eventually([&] {
    const std::string log = ServiceLog();
    std::size_t count = 0;
    for (std::size_t at = log.find("CMD_KEEPALIVE"); at != std::string::npos;
         at = log.find("CMD_KEEPALIVE", at + 1)) {
      ++count;
    }
    return count >= 2;
  }));

  ASSERT_TRUE(Control("logoff demo"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("main 1225 6"); }));
  const auto calls = windows.calls();
  const auto hangUp = std::find(calls.begin(), calls.end(), "hang up");
  ASSERT_NE(hangUp, calls.end());
  EXPECT_EQ(*(hangUp + 1), "command 1006");
  EXPECT_EQ(*(hangUp + 2), "main 1225 6");

  ASSERT_TRUE(Control("stop demo 1"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("main 1325 1"); }));
}

// Keep-alive answers would put the service's own balance back at once; here only the first
// keep-alive leaves within the test.
class QuietLinkTest : public LinkAgainstServiceTest {
 protected:
  QuietLinkTest() { keepAliveIntervalMs = 60000; }
};

// Each packet that would end or alter the session: forged by a stranger it changes nothing; sent
// by the account server itself it takes effect.
TEST_F(QuietLinkTest, OnlyTheAccountServerCanChangeTheSession) {
  LogIn();
  windows.callType.set(kCallTypeCallback);
  windows.callState = kCallStateCalling;
  auto stranger = UdpSocket::Open("127.0.0.1", 0, false);
  ASSERT_TRUE(stranger);
  const auto calls = [&](const std::string& call) {
    const auto all = windows.calls();
    return std::count(all.begin(), all.end(), call);
  };
  struct Row {
    const char* name;
    ServicePacket forged;
    std::string push;  // the control command that makes the service send the same
    std::function<bool()> tookEffect;
  };
  const std::vector<Row> rows = {
      {"balance", AccountStatePacket({0, "999.00"}), "push demo 4001 0 0 999.00",
       [&] { return state.balance.get() == "999.00"; }},
      {"call start balance", CallStartAnswerPacket({kCallAccepted, "888.00"}),
       "push demo 4004 3 0 888.00", [&] { return state.balance.get() == "888.00"; }},
      {"call-back answer", CallbackAnswerPacket(0), "push demo 4006 0 0",
       [&] { return calls("text 回拨成功") == 1; }},
      {"call-back id", CallbackIdNotice(0x2001), "callback-id demo 0x2001",
       [&] { return calls("identify 8193") == 1; }},
      {"service stop", ServiceStopNotice(0), "stop demo 0",
       [&] { return calls("main 1325 0") == 1; }},
      {"log-off", AccountStatePacket({kAccountLoggedOffByService, "0.00"}),
       "push demo 4001 6 0 0.00", [&] { return calls("main 1225 6") == 1; }},
      {"login answer", LoginAnswerPacket({0x77, kAccountLoggedOffByService, "", "", "", ""}),
       "push demo 4002 6 0x77",
       [&] { return calls("main 1225 6") == 2 && link->module()->clientId() == 0x77; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto before = windows.calls();
    const std::string balance = state.balance.get();
    const std::uint32_t clientId = link->module()->clientId();
    const std::uint64_t dropped = link->module()->foreignDatagrams();
    SendFrom(*stranger, row.forged);
    ASSERT_TRUE(Eventually([&] { return link->module()->foreignDatagrams() == dropped + 1; }));
    // Time enough for the worker to act, were the packet let through.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(row.tookEffect());
    EXPECT_EQ(state.balance.get(), balance);
    EXPECT_EQ(link->module()->clientId(), clientId);
    // Keep-alive answers may come meanwhile; nothing else.
    auto after = windows.calls();
    after.erase(std::remove(after.begin(), after.end(), "repaint balance"), after.end());
    auto expected = before;
    expected.erase(std::remove(expected.begin(), expected.end(), "repaint balance"),
                   expected.end());
    EXPECT_EQ(after, expected);

    ASSERT_TRUE(Control(row.push));
    EXPECT_TRUE(Eventually(row.tookEffect)) << ServiceLog();
  }
}

// Strangers flood the port with forged stops, log-offs and junk: the session stays, keep-alives
// go on and are answered, and the trace log gets at most four lines of drops per five seconds
// (each source at most one) however fast the flood comes.
TEST_F(LinkAgainstServiceTest, AFloodFromStrangersLeavesTheSessionAndTheLogBounded) {
  LogIn();
  std::vector<std::unique_ptr<UdpSocket>> strangers;
  for (int i = 0; i < 8; ++i) {
    strangers.push_back(UdpSocket::Open("127.0.0.1", 0, false));
    ASSERT_TRUE(strangers.back());
  }
  const std::size_t keepAlivesBefore = CountInLog(ServiceLog(), "CMD_KEEPALIVE");
  const auto callsBefore = windows.calls();
  const std::size_t answersBefore = static_cast<std::size_t>(
      std::count(callsBefore.begin(), callsBefore.end(), "repaint balance"));
  const std::size_t traceBefore = TraceText().size();

  std::mt19937 random(5);
  const std::vector<ServicePacket> forged = {
      ServiceStopNotice(0), ServiceStopNotice(1),
      AccountStatePacket({kAccountLoggedOffByService, "0.00"}),
      LoginAnswerPacket({0x99, 6, "", "", "", ""})};
  const auto start = std::chrono::steady_clock::now();
  std::size_t sent = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(6)) {
    for (int burst = 0; burst < 10; ++burst, ++sent) {
      UdpSocket& from = *strangers[sent % strangers.size()];
      if (sent % 2 == 0) {
        SendFrom(from, forged[(sent / 2) % forged.size()]);
      } else {
        std::vector<std::uint8_t> junk(1 + random() % 1024);
        for (auto& byte : junk)
          byte = static_cast<std::uint8_t>(random());
        from.SendTo(junk.data(), static_cast<int>(junk.size()), testing::kLoopback,
                    static_cast<std::uint16_t>(link->module()->localPort()));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // about 2000 datagrams a second
  }
  const double floodSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the socket drains

  for (const char* call : {"main 1325 0", "main 1325 1", "main 1225 6", "command 1006"}) {
    EXPECT_FALSE(windows.Saw(call)) << call;
  }
  EXPECT_NE(link->module()->clientId(), 0x99u);
  EXPECT_GT(link->module()->foreignDatagrams(), 1000u) << "the flood reached the socket";
  EXPECT_GE(CountInLog(ServiceLog(), "CMD_KEEPALIVE"), keepAlivesBefore + 5);
  const auto allCalls = windows.calls();
  EXPECT_GT(
      static_cast<std::size_t>(std::count(allCalls.begin(), allCalls.end(), "repaint balance")),
      answersBefore)
      << "keep-alive answers still got through";

  const std::string trace = TraceText().substr(traceBefore);
  const std::size_t dropLines = CountInLog(trace, "[Drop]");
  const std::size_t bound = 4 * (static_cast<std::size_t>(floodSeconds / 5.0) + 1);
  EXPECT_GE(dropLines, 1u);
  EXPECT_LE(dropLines, bound) << trace;
  std::size_t dropBytes = 0;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("[Drop]") != std::string::npos) dropBytes += line.size() + 1;
  }
  EXPECT_LE(dropBytes, bound * 120) << "each line is short";
  EXPECT_EQ(CountInLog(trace, "Recv CmdID[0x1f48]"), 0u) << "no forged stop was read";

  // The genuine service is still heard.
  ASSERT_TRUE(Control("stop demo 1"));
  EXPECT_TRUE(Eventually([&] { return windows.Saw("main 1325 1"); }));
}

TEST_F(LinkAgainstServiceTest, AreaAnswerDialsThroughTheWorker) {
  state.account.set("demo");
  link->module()->Send(LoginRequest("demo", "demo123"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("login 1225 0"); }));
  state.loggedIn = true;
  windows.LoginClosed();
  link->module()->Send(AreaQueryRequest("013912345678"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("invite 13912345678"); })) << ServiceLog();
  link->module()->Send(AreaQueryRequest("013512345678"));
  ASSERT_TRUE(Eventually([&] { return windows.Saw("invite 013512345678"); }));
}

}  // namespace
}  // namespace corvel
