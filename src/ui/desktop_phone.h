// The telephone behind the main window on the desktop: the phone module built from the
// configuration after login, its reports shown by the call display, its window messages posted
// to the main window and its levels to the status panel's meters.
#pragma once

#include <atomic>

#include <QObject>
#include <memory>

#include "app/client_state.h"
#include "app/window_poster.h"
#include "sip/phone_module.h"
#include "ui/call_display.h"
#include "ui/phone_controls.h"

namespace corvel {

class AudioBackend;
class MainWindow;
class StatusPanel;

// Posts numbered messages to a window's thread.
class QtWindowPoster : public WindowPoster {
 public:
  explicit QtWindowPoster(QObject* target) : target_(target) {}
  void Post(int message, std::uint32_t wParam, std::intptr_t lParam) override;

 private:
  QObject* const target_;  // outlives every thread that posts here
};

// Hands level messages to one of the status panel's meters.
// Levels come with every audio frame, up to 50 a second from each side. The meter shows the
// loudest of those since it was last drawn, at most kShowEveryMs apart: the window is woken for
// what can be seen, not for every frame.
class LevelMeterPoster : public WindowPoster {
 public:
  static constexpr int kShowEveryMs = 40;

  LevelMeterPoster(StatusPanel* panel, bool microphone);
  void Post(int message, std::uint32_t wParam, std::intptr_t lParam) override;

 private:
  struct Pending {
    std::atomic<int> peak{0};
    std::atomic<bool> posted{false};
    std::atomic<std::int64_t> shownAtMs{0};
  };

  StatusPanel* const panel_;
  const bool microphone_;
  // Shared with the posted updates, which may run after the poster is gone.
  const std::shared_ptr<Pending> pending_ = std::make_shared<Pending>();
};

class DesktopPhone : public PhoneControls {
 public:
  DesktopPhone(ClientState& state, MainWindow& window, std::shared_ptr<AudioBackend> audio);
  ~DesktopPhone() override;

  // Runs the phone module; false (logged, a box shown) when it could not be built whole.
  bool Create();

  bool HasEndpoint() const override { return module_.sipServer() != nullptr; }
  bool HasRtpSession() const override { return module_.rtpServer() != nullptr; }
  int RegistCounter() const override;
  bool NatMode() const override;
  bool NatAddressKnown() const override;
  void Invite(const std::string& number) override { module_.Invite(number); }
  void Answer(std::uint32_t identify, int statusCode) override {
    module_.Answer(identify, statusCode);
  }
  void HangUp(std::uint32_t identify) override { module_.HangUp(identify); }
  void SendDtmf(int keyValue) override { module_.SendDtmf(keyValue); }
  void StartCapture() override { module_.StartCapture(); }
  void Shutdown() override { module_.Close(); }

  PhoneModule& module() { return module_; }

 private:
  int Report(SipCall& call);

  ClientState& state_;
  QtWindowPoster windowPoster_;
  LevelMeterPoster microphoneMeter_;
  LevelMeterPoster speakerMeter_;
  CallDisplay display_;
  PhoneModule module_;  // last: its threads end before the parts they report to go
};

}  // namespace corvel
