#include "ui/desktop_phone.h"

#include <algorithm>
#include <chrono>

#include <QMetaObject>

#include "app/config.h"
#include "media/rtp/rtp_server.h"
#include "ui/main_window.h"
#include "ui/prompt_box.h"
#include "ui/status_panel.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

RingFiles RingFilesOf(const ClientState& state) {
  const Config config(state.configPath.get());
  const std::string folder = state.programFolder.get();
  return RingFiles{config.ringFile(RingKind::kFileRing, folder),
                   config.ringFile(RingKind::kCrvtRing, folder),
                   config.ringFile(RingKind::kCallBye, folder)};
}

}  // namespace

void QtWindowPoster::Post(int message, std::uint32_t wParam, std::intptr_t lParam) {
  PostWindowMessage(target_, message, wParam, lParam);
}

LevelMeterPoster::LevelMeterPoster(StatusPanel* panel, bool microphone)
    : panel_(panel), microphone_(microphone) {}

void LevelMeterPoster::Post(int /*message*/, std::uint32_t wParam, std::intptr_t /*lParam*/) {
  const int level = static_cast<int>(std::min<std::uint32_t>(wParam, 32767));
  Pending& pending = *pending_;
  int peak = pending.peak.load();
  while (level > peak && !pending.peak.compare_exchange_weak(peak, level)) {
  }
  const std::int64_t nowMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
  if (nowMs - pending.shownAtMs.load() < kShowEveryMs) return;  // kept for the next one
  if (pending.posted.exchange(true)) return;                    // one is on its way
  pending.shownAtMs = nowMs;
  StatusPanel* panel = panel_;
  const bool microphone = microphone_;
  QMetaObject::invokeMethod(
      panel,
      [panel, microphone, shared = pending_] {
        shared->posted = false;
        const int loudest = shared->peak.exchange(0);
        if (microphone) {
          panel->SetMicrophoneLevel(loudest);
        } else {
          panel->SetSpeakerLevel(loudest);
        }
      },
      Qt::QueuedConnection);
}

DesktopPhone::DesktopPhone(ClientState& state, MainWindow& window,
                           std::shared_ptr<AudioBackend> audio)
    : state_(state),
      windowPoster_(&window),
      microphoneMeter_(window.statusPanel(), true),
      speakerMeter_(window.statusPanel(), false),
      display_(state, window, RingFilesOf(state)),
      module_(PhoneModuleSetup{
          state.configPath.get(), state.programFolder.get(), state.sipNumber.get(),
          &window.phoneLog().log(), &windowPoster_, &microphoneMeter_, &speakerMeter_,
          std::move(audio), [this](SipCall& call) { return Report(call); },
          [&window](const std::string& text) {
            Prompt(&window, PromptRequest{"提示", QString::fromStdString(text)});
          }}) {}

DesktopPhone::~DesktopPhone() {
  module_.Close();
}

bool DesktopPhone::Create() {
  return module_.CreatePhoneModule({});
}

int DesktopPhone::RegistCounter() const {
  const SipServer* sip = module_.sipServer();
  return sip != nullptr ? sip->registCounter() : 0;
}

bool DesktopPhone::NatMode() const {
  const RtpServer* rtp = module_.rtpServer();
  return rtp != nullptr && rtp->natMode();
}

bool DesktopPhone::NatAddressKnown() const {
  const RtpServer* rtp = module_.rtpServer();
  return rtp != nullptr && rtp->natAddress().known();
}

int DesktopPhone::Report(SipCall& call) {
  CallReport report;
  report.state = call.state;
  report.outgoing = call.outgoing != 0;
  report.notifyService = call.notifyService != 0;
  report.failed = call.failed != 0;
  report.reason = call.reason;
  report.identify = call.Identify;
  report.callName = call.CallName;
  const int result = display_.ShowCall(report);
  call.notifyService = report.notifyService ? 1 : 0;
  return result;
}

}  // namespace corvel
