// The application's life: prepare the folders, build the service link, log in, run the main
// window, then shut down in a fixed order. The windows and the service link plug in through
// StartupParts, so the sequence itself is the same in the client and in its tests.
#pragma once

#include <string>

#include "app/app_folder.h"
#include "app/client_state.h"

namespace corvel {

// What start-up builds and shows. Called on the UI thread only, in the order InitInstance
// gives.
class StartupParts {
 public:
  virtual ~StartupParts() = default;

  // Constructs the network module on configFile and starts it (sockets and threads); false
  // when either failed. A module that was constructed stays until DestroyNetworkModule.
  virtual bool CreateNetworkModule(const std::string& configFile) = 0;
  virtual bool HasNetworkModule() const = 0;
  // Sends the log-off request for account; no answer is awaited.
  virtual void SendLogOff(const std::string& account) = 0;
  virtual void DestroyNetworkModule() = 0;

  // Creates the business worker with its thread suspended, then lets it run.
  virtual bool CreateWorker() = 0;
  virtual bool ResumeWorker() = 0;
  virtual bool HasWorker() const = 0;
  virtual void RequestWorkerStop() = 0;    // clears its running flag
  virtual bool WorkerStopped() const = 0;  // its stopped flag, set as its last act
  virtual void ReleaseWorker() = 0;

  virtual void ShowPrompt(const std::string& text, const std::string& caption) = 0;
  // Shows the login window modally; ClientState::loggedIn tells the outcome.
  virtual void RunLoginWindow() = 0;
  // Constructs the main window, shows it modally and destroys it when it returns.
  virtual void RunMainWindow() = 0;
};

struct StartupTiming {
  int workerPollMs = 50;       // how often shutdown looks at the worker's stopped flag
  int workerGraceMs = 100;     // then lets its thread finish ending
  int workerGiveUpMs = 10000;  // a worker that never stops no longer holds up the exit
};

class ClientApp {
 public:
  ClientApp(ClientState& state, StartupParts& parts, FolderEnvironment environment,
            StartupTiming timing = {});

  // The whole life of the client; returns false in every case, as there is no message loop
  // after it.
  bool InitInstance();

 private:
  void PrepareFolders();
  void StopWorker();
  void ReleaseLink();
  void Shutdown();

  ClientState& state_;
  StartupParts& parts_;
  const FolderEnvironment environment_;
  const StartupTiming timing_;
};

inline constexpr const char* kLinkFailedText = "创建通信失败!";
inline constexpr const char* kPromptCaption = "提示";

}  // namespace corvel
