// The service link from start to finish against the development service: login, keep-alive,
// and the service's own notices reaching the windows through the business worker.
#include <gtest/gtest.h>

#include <mutex>

#include "recording_peers.h"
#include "service/client_requests.h"
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
    WriteFile(folder / "CorvelConfig.ini", "[UDP]\nLocal=127.0.0.1,26000\nRemote=127.0.0.1," +
                                               std::to_string(accountPort) + "\n");
    BussThread::Timing timing;
    timing.keepAliveIntervalMs = 300;
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
