// What the business worker drives besides the service link: the login and main windows, the
// main window's status panel, the conference window and the SIP endpoint. The windows
// implement it; every call comes from the worker's thread, and an implementation that hands
// the work to the UI thread must keep the order of the calls.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_messages.h"

namespace corvel {

class WorkerPeers {
 public:
  virtual ~WorkerPeers() = default;

  virtual bool HasLoginWindow() const = 0;  // while the login window is open
  virtual bool HasMainWindow() const = 0;
  virtual void PostToLoginWindow(WindowMessage message, std::uint32_t wParam) = 0;
  virtual void PostToMainWindow(WindowMessage message, std::uint32_t wParam) = 0;
  virtual void PostMainCommand(MainWindowCommand command) = 0;
  virtual void RepaintBalance() = 0;  // the balance area of the main window
  virtual void RepaintMainWindow() = 0;

  // The status panel; its state is read from the worker's thread, so it must be safe to read.
  virtual int CallState() const = 0;  // 0 idle, 1 calling or incoming, 2 ringing, 5 in call
  virtual std::string CallType() const = 0;
  virtual void SetCallbackTimeout(bool on) = 0;
  virtual void SetStatusText(const std::string& text) = 0;
  virtual void FinishCall() = 0;
  virtual void SetRunning(bool on) = 0;
  virtual void SetIdentify(std::uint32_t identify) = 0;

  virtual bool HasConferenceWindow() const = 0;
  virtual void AddMemberFromStatusPanel() = 0;
  virtual void RemoveMember(const std::string& phone, std::uint32_t memberId) = 0;

  // Each taken with the SIP stack's lock held by the implementation.
  virtual bool HasSipEndpoint() const = 0;
  virtual void HangUpAllCalls() = 0;
  virtual void Invite(const std::string& number) = 0;
};

// The status panel's call type of a call-back in progress.
inline constexpr const char* kCallTypeCallback = "回拨呼出";
inline constexpr int kCallStateCalling = 1;
inline constexpr int kCallStateInCall = 5;

}  // namespace corvel
