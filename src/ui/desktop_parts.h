// Start-up's parts on the desktop: the service link, the login window, the main window and the
// prompt box, and the sounds the windows play.
#pragma once

#include <memory>

#include "app/client_app.h"
#include "service/service_link.h"
#include "ui/desktop_sounds.h"
#include "ui/login_window.h"
#include "ui/ui_peers.h"

namespace corvel {

class DesktopParts : public StartupParts {
 public:
  explicit DesktopParts(ClientState& state);

  bool CreateNetworkModule(const std::string& configFile) override;
  bool HasNetworkModule() const override { return link_.HasNetworkModule(); }
  void SendLogOff(const std::string& account) override { link_.SendLogOff(account); }
  void DestroyNetworkModule() override { link_.DestroyNetworkModule(); }
  bool CreateWorker() override { return link_.CreateWorker(); }
  bool ResumeWorker() override { return link_.ResumeWorker(); }
  bool HasWorker() const override { return link_.HasWorker(); }
  void RequestWorkerStop() override { link_.RequestWorkerStop(); }
  bool WorkerStopped() const override { return link_.WorkerStopped(); }
  void ReleaseWorker() override { link_.ReleaseWorker(); }
  void ShowPrompt(const std::string& text, const std::string& caption) override;
  void RunLoginWindow() override;
  void RunMainWindow() override;

  LoginWindow& loginWindow() { return loginWindow_; }

 private:
  ClientState& state_;
  LoginWindow loginWindow_;
  UiPeers peers_;
  ServiceLink link_;
  std::shared_ptr<AudioBackend> audio_;    // made with the main window, once folders are known
  std::unique_ptr<DesktopSounds> sounds_;  // ring and key tones on audio_
};

}  // namespace corvel
