// The windows as the business worker sees them. Calls arrive on the worker's thread; those that
// change a window are handed to the UI thread as queued calls, in the order they were made.
// Reads (the status panel's call state and type) are of fields that are safe from any thread.
#pragma once

#include <functional>
#include <mutex>

#include "service/worker_peers.h"

namespace corvel {

class LoginWindow;
class MainWindow;

class UiPeers : public WorkerPeers {
 public:
  explicit UiPeers(LoginWindow& loginWindow) : loginWindow_(loginWindow) {}

  // The main window registers itself once built and withdraws before it is destroyed; nothing
  // is queued to it after that.
  void SetMainWindow(MainWindow* window);

  bool HasLoginWindow() const override;
  bool HasMainWindow() const override;
  void PostToLoginWindow(WindowMessage message, std::uint32_t wParam) override;
  void PostToMainWindow(WindowMessage message, std::uint32_t wParam) override;
  void PostMainCommand(MainWindowCommand command) override;
  void RepaintBalance() override;
  void RepaintMainWindow() override;

  int CallState() const override;
  std::string CallType() const override;
  void SetCallbackTimeout(bool on) override;
  void SetStatusText(const std::string& text) override;
  void FinishCall() override;
  void SetRunning(bool on) override;
  void SetIdentify(std::uint32_t identify) override;

  bool HasConferenceWindow() const override;
  void AddMemberFromStatusPanel() override;
  void RemoveMember(const std::string& phone, std::uint32_t memberId) override;

  bool HasSipEndpoint() const override;
  void HangUpAllCalls() override;
  void Invite(const std::string& number) override;

 private:
  // Runs work on the main window's thread after everything queued before it.
  void OnMainWindow(std::function<void(MainWindow&)> work);

  LoginWindow& loginWindow_;
  mutable std::mutex mainMutex_;  // guards mainWindow_ and every queueing to it
  MainWindow* mainWindow_ = nullptr;
};

}  // namespace corvel
