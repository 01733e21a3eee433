// Stands in for the windows and the SIP endpoint in the worker's tests.
#pragma once

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "media/toolkit/synchronized.h"
#include "service/worker_peers.h"

namespace corvel::testing {

// Writes down every call in order.
class RecordingPeers : public WorkerPeers {
 public:
  // Read by the worker's thread while a test flips them.
  std::atomic<bool> loginWindow{false};
  std::atomic<bool> mainWindow{true};
  std::atomic<bool> conferenceWindow{false};
  std::atomic<bool> sipEndpoint{true};
  std::atomic<int> callState{0};
  Synchronized<std::string> callType;

  std::vector<std::string> calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }
  bool Saw(const std::string& call) const {
    const auto all = calls();
    return std::find(all.begin(), all.end(), call) != all.end();
  }

  bool HasLoginWindow() const override { return loginWindow; }
  bool HasMainWindow() const override { return mainWindow; }
  void PostToLoginWindow(WindowMessage message, std::uint32_t wParam) override {
    Record("login " + std::to_string(message) + " " + std::to_string(wParam));
  }
  void PostToMainWindow(WindowMessage message, std::uint32_t wParam) override {
    Record("main " + std::to_string(message) + " " + std::to_string(wParam));
  }
  void PostMainCommand(MainWindowCommand command) override {
    Record("command " + std::to_string(command));
  }
  void RepaintBalance() override { Record("repaint balance"); }
  void RepaintMainWindow() override { Record("repaint main"); }
  int CallState() const override { return callState; }
  std::string CallType() const override { return callType.get(); }
  void SetCallbackTimeout(bool on) override { Record(on ? "timeout on" : "timeout off"); }
  void SetStatusText(const std::string& text) override { Record("text " + text); }
  void FinishCall() override { Record("finish"); }
  void SetRunning(bool on) override { Record(on ? "running on" : "running off"); }
  void SetIdentify(std::uint32_t identify) override {
    Record("identify " + std::to_string(identify));
  }
  bool HasConferenceWindow() const override { return conferenceWindow; }
  void AddMemberFromStatusPanel() override { Record("add member"); }
  void RemoveMember(const std::string& phone, std::uint32_t memberId) override {
    Record("remove member " + phone + " " + std::to_string(memberId));
  }
  bool HasSipEndpoint() const override { return sipEndpoint; }
  void HangUpAllCalls() override { Record("hang up"); }
  void Invite(const std::string& number) override { Record("invite " + number); }

 private:
  void Record(std::string call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  mutable std::mutex mutex_;  // guards calls_
  std::vector<std::string> calls_;
};

}  // namespace corvel::testing
