#include "app/client_app.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/app_log.h"
#include "app/trace_log.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// Stands in for the service link and the windows, recording what start-up asks of them.
class RecordingParts : public StartupParts {
 public:
  explicit RecordingParts(ClientState& state) : state_(state) {}

  std::vector<std::string> calls;
  bool moduleStarts = true;
  bool workerCreates = true;
  bool loginSucceeds = true;
  bool logOffInMainWindow = false;
  int pollsUntilWorkerStops = 2;
  bool staleLogFileSeen = true;
  std::string workingFolderAtCreate;

  bool CreateNetworkModule(const std::string& configFile) override {
    calls.push_back("CreateNetworkModule " + configFile);
    workingFolderAtCreate = std::filesystem::current_path().string() + "/";
    staleLogFileSeen = Exists("log/stale.log") || Exists("log/old/stale.log");
    // Like the real module: its trace log on the relative name, installed for AppLog.
    trace_ = std::make_shared<TraceLog>("./log/UdpNetwork.log", 0, 1);
    SetAppLogTarget(trace_);
    moduleExists_ = true;
    return moduleStarts;
  }
  bool HasNetworkModule() const override { return moduleExists_; }
  void SendLogOff(const std::string& account) override { calls.push_back("SendLogOff " + account); }
  void DestroyNetworkModule() override {
    calls.push_back("DestroyNetworkModule");
    SetAppLogTarget(nullptr);
    trace_.reset();
    moduleExists_ = false;
  }

  bool CreateWorker() override {
    calls.push_back("CreateWorker");
    workerExists_ = workerCreates;
    return workerCreates;
  }
  bool ResumeWorker() override {
    calls.push_back("ResumeWorker");
    return true;
  }
  bool HasWorker() const override { return workerExists_; }
  void RequestWorkerStop() override { calls.push_back("RequestWorkerStop"); }
  bool WorkerStopped() const override { return ++polls_ > pollsUntilWorkerStops; }
  void ReleaseWorker() override {
    calls.push_back("ReleaseWorker");
    workerExists_ = false;
  }

  void ShowPrompt(const std::string& text, const std::string& caption) override {
    calls.push_back("ShowPrompt " + text + " " + caption);
  }
  void RunLoginWindow() override {
    calls.push_back("RunLoginWindow");
    if (loginSucceeds) {
      state_.account.set("8613800");
      state_.loggedIn = true;
    }
  }
  void RunMainWindow() override {
    calls.push_back("RunMainWindow");
    if (logOffInMainWindow) state_.loggedIn = false;
  }

 private:
  ClientState& state_;
  std::shared_ptr<TraceLog> trace_;
  bool moduleExists_ = false;
  bool workerExists_ = false;
  mutable int polls_ = 0;
};

class ClientAppTest : public ::testing::Test {
 protected:
  ClientAppTest() : parts(state), previous(std::filesystem::current_path()) {
    environment.corvelHome = home.path();
    WriteFile(home / "log/stale.log", "from the last run");
    WriteFile(home / "log/old/stale.log", "older");
  }
  ~ClientAppTest() override { std::filesystem::current_path(previous); }

  bool Run() {
    StartupTiming timing;
    timing.workerPollMs = 1;
    timing.workerGraceMs = 1;
    ClientApp app(state, parts, environment, timing);
    return app.InitInstance();
  }
  std::string TraceText() const { return ReadFile(home / "log/UdpNetwork.log"); }

  TempFolder home;
  FolderEnvironment environment;
  ClientState state;
  RecordingParts parts;
  std::filesystem::path previous;
};

std::vector<std::string> LogMessages(const std::string& text) {
  std::vector<std::string> messages;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    messages.push_back(line.substr(20));
  return messages;
}

TEST_F(ClientAppTest, FullRunKeepsTheShutdownOrder) {
  EXPECT_FALSE(Run());
  EXPECT_EQ(parts.calls,
            (std::vector<std::string>{"CreateNetworkModule ./CorvelConfig.ini", "CreateWorker",
                                      "ResumeWorker", "RunLoginWindow", "RunMainWindow",
                                      "SendLogOff 8613800", "RequestWorkerStop", "ReleaseWorker",
                                      "DestroyNetworkModule"}));
  EXPECT_EQ(LogMessages(TraceText()),
            (std::vector<std::string>{"Mail Dialog Exit", "Send Log Off Packet",
                                      "Delete UDP Thread", "Delete UDP Service"}));
}

TEST_F(ClientAppTest, FoldersArePreparedBeforeTheLinkStarts) {
  Run();
  EXPECT_FALSE(parts.staleLogFileSeen);
  EXPECT_TRUE(std::filesystem::is_directory(home / "log/old"));
  EXPECT_EQ(parts.workingFolderAtCreate, home.path());
  EXPECT_EQ(state.programFolder.get(), home.path());
  EXPECT_EQ(state.configPath.get(), home / "CorvelConfig.ini");
}

TEST_F(ClientAppTest, AbandonedLoginEndsQuietly) {
  parts.loginSucceeds = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(parts.calls,
            (std::vector<std::string>{"CreateNetworkModule ./CorvelConfig.ini", "CreateWorker",
                                      "ResumeWorker", "RunLoginWindow", "RequestWorkerStop",
                                      "ReleaseWorker", "DestroyNetworkModule"}));
  EXPECT_EQ(TraceText(), "");
}

TEST_F(ClientAppTest, LoggedOffInsideMainWindowSendsNoSecondLogOff) {
  parts.logOffInMainWindow = true;
  Run();
  for (const auto& call : parts.calls)
    EXPECT_FALSE(call.starts_with("SendLogOff"));
  EXPECT_EQ(
      LogMessages(TraceText()),
      (std::vector<std::string>{"Mail Dialog Exit", "Delete UDP Thread", "Delete UDP Service"}));
}

TEST_F(ClientAppTest, LinkThatCannotStartShowsTheBoxAndNoLogin) {
  parts.moduleStarts = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(parts.calls,
            (std::vector<std::string>{"CreateNetworkModule ./CorvelConfig.ini",
                                      "ShowPrompt 创建通信失败! 提示", "DestroyNetworkModule"}));
}

TEST_F(ClientAppTest, WorkerThatCannotStartShowsTheBoxAndReleasesTheModule) {
  parts.workerCreates = false;
  EXPECT_FALSE(Run());
  EXPECT_EQ(parts.calls,
            (std::vector<std::string>{"CreateNetworkModule ./CorvelConfig.ini", "CreateWorker",
                                      "ShowPrompt 创建通信失败! 提示", "DestroyNetworkModule"}));
}

TEST_F(ClientAppTest, WorkerThatNeverStopsDoesNotHoldUpTheExit) {
  parts.pollsUntilWorkerStops = 1 << 30;
  StartupTiming timing;
  timing.workerPollMs = 1;
  timing.workerGraceMs = 1;
  timing.workerGiveUpMs = 50;
  ClientApp app(state, parts, environment, timing);
  app.InitInstance();
  EXPECT_EQ(parts.calls.back(), "DestroyNetworkModule");
}

}  // namespace
}  // namespace corvel
