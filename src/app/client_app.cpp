#include "app/client_app.h"

#include <chrono>
#include <thread>

#include "app/app_log.h"
#include "app/config.h"
#include "media/toolkit/working_folder.h"

namespace corvel {

ClientApp::ClientApp(ClientState& state, StartupParts& parts, FolderEnvironment environment,
                     StartupTiming timing)
    : state_(state), parts_(parts), environment_(std::move(environment)), timing_(timing) {}

void ClientApp::PrepareFolders() {
  const std::string programFolder = ChooseApplicationFolder(environment_);
  state_.programFolder.set(programFolder);
  // The relative names of the service link ("./CorvelConfig.ini", "./log/UdpNetwork.log")
  // then name the application folder's files wherever the client was started from.
  if (!programFolder.empty()) EnterFolder(programFolder);
  EmptyLogFolder(programFolder + "log");
  state_.configPath.set(programFolder + kConfigFileName);
}

bool ClientApp::InitInstance() {
  PrepareFolders();

  if (!parts_.CreateNetworkModule(kServiceLinkConfigFile)) {
    parts_.ShowPrompt(kLinkFailedText, kPromptCaption);
    ReleaseLink();
    return false;
  }
  if (!parts_.CreateWorker() || !parts_.ResumeWorker()) {
    parts_.ShowPrompt(kLinkFailedText, kPromptCaption);
    ReleaseLink();
    return false;
  }

  parts_.RunLoginWindow();
  if (!state_.loggedIn.load()) {
    ReleaseLink();
    return false;
  }

  parts_.RunMainWindow();
  Shutdown();
  return false;
}

void ClientApp::StopWorker() {
  parts_.RequestWorkerStop();
  using Clock = std::chrono::steady_clock;
  const auto giveUp = Clock::now() + std::chrono::milliseconds(timing_.workerGiveUpMs);
  while (!parts_.WorkerStopped() && Clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timing_.workerPollMs));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(timing_.workerGraceMs));
  parts_.ReleaseWorker();
}

void ClientApp::ReleaseLink() {
  if (parts_.HasWorker()) StopWorker();
  if (parts_.HasNetworkModule()) parts_.DestroyNetworkModule();
}

void ClientApp::Shutdown() {
  AppLog(0, "Mail Dialog Exit");
  if (parts_.HasNetworkModule() && state_.loggedIn.load()) {
    AppLog(0, "Send Log Off Packet");
    parts_.SendLogOff(state_.account.get());
  }
  if (parts_.HasWorker()) {
    AppLog(0, "Delete UDP Thread");
    StopWorker();
  }
  if (parts_.HasNetworkModule()) {
    AppLog(0, "Delete UDP Service");
    parts_.DestroyNetworkModule();
  }
}

}  // namespace corvel
