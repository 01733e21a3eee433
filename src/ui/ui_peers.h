// The windows as the business worker sees them. Every call arrives on the worker's thread and
// is handed to the UI thread as a posted event, in the order of the calls.
#pragma once

#include <mutex>

#include "service/worker_peers.h"

namespace corvel {

class LoginWindow;
class MainWindow;

class UiPeers : public WorkerPeers {
 public:
  explicit UiPeers(LoginWindow& loginWindow) : loginWindow_(loginWindow) {}

  // The main window registers itself once built and withdraws before it is destroyed; no
  // message is posted to it after that.
  void SetMainWindow(MainWindow* window);

  bool HasLoginWindow() const override;
  bool HasMainWindow() const override;
  void PostToLoginWindow(WindowMessage message, std::uint32_t wParam) override;
  void PostToMainWindow(WindowMessage message, std::uint32_t wParam) override;
  void PostMainCommand(MainWindowCommand command) override;
  void RepaintBalance() override;
  void RepaintMainWindow() override;

  // The status panel, the conference window and the SIP endpoint belong to the main window
  // and arrive with it; until then there is no call, no conference and no phone.
  int CallState() const override { return 0; }
  std::string CallType() const override { return {}; }
  void SetCallbackTimeout(bool /*on*/) override {}
  void SetStatusText(const std::string& /*text*/) override {}
  void FinishCall() override {}
  void SetRunning(bool /*on*/) override {}
  void SetIdentify(std::uint32_t /*identify*/) override {}
  bool HasConferenceWindow() const override { return false; }
  void AddMemberFromStatusPanel() override {}
  void RemoveMember(const std::string& /*phone*/, std::uint32_t /*memberId*/) override {}
  bool HasSipEndpoint() const override { return false; }
  void HangUpAllCalls() override {}
  void Invite(const std::string& /*number*/) override {}

 private:
  LoginWindow& loginWindow_;
  mutable std::mutex mainMutex_;  // guards mainWindow_ and every post to it
  MainWindow* mainWindow_ = nullptr;
};

}  // namespace corvel
