#include "ui/desktop_phone.h"

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

void LevelMeterPoster::Post(int /*message*/, std::uint32_t wParam, std::intptr_t /*lParam*/) {
  StatusPanel* panel = panel_;
  const bool microphone = microphone_;
  const int level = static_cast<int>(wParam);
  QMetaObject::invokeMethod(
      panel,
      [panel, microphone, level] {
        if (microphone) {
          panel->SetMicrophoneLevel(level);
        } else {
          panel->SetSpeakerLevel(level);
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
