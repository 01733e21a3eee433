#include "ui/call_display.h"

#include <QMetaObject>
#include <QThread>

#include "app/window_messages.h"
#include "service/client_requests.h"
#include "service/network_module.h"
#include "ui/main_window.h"
#include "ui/phone_controls.h"
#include "ui/skin/skin_button.h"
#include "ui/sound_port.h"
#include "ui/status_panel.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

void Buttons(MainWindow& window, const char* call, const char* hangUp) {
  if (call != nullptr) window.button(kCommandCallOrAnswer)->setText(QString::fromUtf8(call));
  if (hangUp != nullptr) window.button(kCommandHangUp)->setText(QString::fromUtf8(hangUp));
}

void Play(MainWindow& window, const std::string& file, bool loop) {
  if (window.sounds() != nullptr) window.sounds()->Play(file, loop);
}

void StopSounds(MainWindow& window) {
  if (window.sounds() != nullptr) window.sounds()->StopAll();
}

}  // namespace

CallDisplay::CallDisplay(ClientState& state, MainWindow& window, RingFiles rings)
    : state_(state), window_(window), rings_(std::move(rings)) {}

std::string CallDisplay::EndText(int callState, int reason) {
  if (callState == 5) return "通话结束";
  switch (reason) {
    case 1:
      return "空号";
    case 2:
      return "对方拒绝";
    case 3:
      return "对方忙";
    case 4:
      return "拒绝接听";
    default:
      return "呼叫失败";
  }
}

int CallDisplay::ShowCall(CallReport& call) {
  NetworkModule* link = state_.networkModule.load();
  if (link == nullptr) return -1;

  if (call.state == 5 && call.outgoing) {
    call.notifyService = CallIsReported(call.callName, state_.sipNumber.get());
  }
  // The reports to the service leave from the reporting thread. The keep-alive that follows
  // them carries the in-call flag, which the panel's call state gives: it is asked for once the
  // window has taken the new state, or it would still say what the call was before.
  const bool reported =
      call.outgoing && call.notifyService && (call.state == 5 || call.state == -1);
  if (reported) {
    const std::string account = state_.account.get();
    link->Send(call.state == 5 ? CallStartRequest(account, call.callName)
                               : CallEndRequest(account));
  }

  const CallReport report = call;
  MainWindow* window = &window_;
  const RingFiles rings = rings_;
  ClientState* state = &state_;
  std::function<void()> part = [window, report, rings, reported, state] {
    StatusPanel& panel = *window->statusPanel();
    switch (report.state) {
      case 5:
        StopSounds(*window);
        panel.setStatusText("通话中");
        panel.setCallState(5);
        panel.SetRunning(true);
        Buttons(*window, "呼叫", "挂断");
        if (window->phone() != nullptr) window->phone()->StartCapture();
        break;
      case -1:
        StopSounds(*window);
        panel.setStatusText(EndText(panel.callState(), report.reason));
        panel.Finish();
        panel.SetRunning(false);
        Buttons(*window, "呼叫", "挂断");
        if (report.failed) Play(*window, rings.callBye, false);
        break;
      case 2:
        Play(*window, rings.fileRing, true);
        panel.setStatusText("振铃中");
        panel.setCallState(2);
        break;
      case 1:
        panel.setStatusText("呼叫中");
        panel.setCallState(1);
        panel.setIdentify(report.identify);
        panel.setNumber(report.callName);
        panel.setNameLine({});
        panel.setCallType(report.outgoing ? kCallTypeOutgoing : kCallTypeIncoming);
        panel.setShown(true);
        panel.SetStartTime({});
        if (report.outgoing) {
          Buttons(*window, nullptr, "取消");
        } else {
          Buttons(*window, "接听", "拒绝");
          Play(*window, rings.crvtRing, true);
        }
        PostCommand(window, kCommandShowStatusTab);
        break;
      default:
        break;
    }
    if (reported) {
      if (NetworkModule* serviceLink = state->networkModule.load()) serviceLink->ResetKeepAlive();
    }
    panel.update();
  };
  {
    const std::lock_guard<std::mutex> guard(queue_->mutex);
    queue_->parts.push_back(std::move(part));
  }
  if (QThread::currentThread() == window->thread()) {
    RunQueued();
  } else {
    std::weak_ptr<Queue> queue = queue_;
    QMetaObject::invokeMethod(
        window,
        [this, queue] {
          if (queue.lock()) RunQueued();
        },
        Qt::QueuedConnection);
  }
  return 0;
}

void CallDisplay::RunQueued() {
  for (;;) {
    std::function<void()> part;
    {
      const std::lock_guard<std::mutex> guard(queue_->mutex);
      if (queue_->parts.empty()) return;
      part = std::move(queue_->parts.front());
      queue_->parts.pop_front();
    }
    part();
  }
}

}  // namespace corvel
