// The main window's commands: calls and call-backs, keys, log in and off, hiding and exit,
// web pages, and the incoming-call box.
#include <QAction>
#include <QSystemTrayIcon>

#include "app/config.h"
#include "app/window_messages.h"
#include "service/client_requests.h"
#include "service/network_module.h"
#include "ui/dial_rules.h"
#include "ui/main_window.h"
#include "ui/phone_controls.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_edit.h"
#include "ui/sound_port.h"
#include "ui/status_panel.h"
#include "ui/url_opener.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

constexpr int kFirstKey = 1014;
constexpr int kLastKey = 1025;

// Key values of the dial pad: 1-9, then * (10), 0 and # (11).
int KeyValue(int id) {
  if (id <= 1022) return id - kFirstKey + 1;
  if (id == 1023) return 10;
  if (id == 1024) return 0;
  return 11;
}

}  // namespace

void MainWindow::Prompt(const char* caption, const char* text, const char* button1) {
  corvel::Prompt(this, PromptRequest(QString::fromUtf8(caption), QString::fromUtf8(text),
                                     PromptBox::kAlignCentredLine,
                                     button1 != nullptr ? QString::fromUtf8(button1) : QString()));
}

void MainWindow::SendToService(const ServicePacket& packet) {
  if (NetworkModule* link = state_.networkModule.load()) link->Send(packet);
}

void MainWindow::Command(int id) {
  if (id >= kFirstKey && id <= kLastKey) return Key(KeyValue(id));
  switch (id) {
    case 1000:
      return ToggleHidden();
    case 1001:
      return Exit();
    case 1002:
    case 1003:
    case 1004:
    case 1005:
      return ShowTab(id);
    case kCommandLogInOut:
      return LogInOut();
    case 1007:
    case 1010:
    case 1028:
      return OpenWebPage(id);
    case kCommandCallback:
      return Callback();
    case kCommandConference:
      return ToggleConference();
    case 1011:
      numberBox_->clear();
      return;
    case 1012: {
      QString text = numberBox_->text();
      text.chop(1);
      numberBox_->setText(text);
      numberBox_->end(false);
      return;
    }
    case kCommandCallOrAnswer:
      return Call();
    case kCommandHangUp:
      return HangUpCommand();
    default:
      return;
  }
}

void MainWindow::Key(int keyValue) {
  if (sounds_ != nullptr) {
    sounds_->Play(state_.programFolder.get() + "Wave/DTMF" + std::to_string(keyValue) + ".wav",
                  false);
  }
  const std::string text = ApplyKey(numberBox_->text().toStdString(), KeyCharacter(keyValue));
  numberBox_->setText(QString::fromStdString(text));
  numberBox_->end(false);
  if (phone_ != nullptr && phone()->HasRtpSession() && statusPanel_->callState() == 5) {
    phone()->SendDtmf(keyValue);
  }
}

void MainWindow::Call() {
  DialContext context;
  context.loggedIn = state_.loggedIn;
  context.hasBalance = state_.hasBalance;
  context.callState = statusPanel_->callState();
  context.ready = ready_;
  context.sipNumber = state_.sipNumber.get();
  const DialDecision decision = DecideCall(context, numberBox_->text().toStdString());
  if (decision.clearNumberBox) numberBox_->clear();
  switch (decision.action) {
    case DialAction::kRefuse:
      Prompt("呼叫提示", decision.message.c_str());
      return;
    case DialAction::kAnswer:
      // A call is answered once: a second click (or the box and the button both) before its
      // ACK would answer a transaction that already has its 200, which ends the call.
      if (phone_ != nullptr && statusPanel_->identify() != answeredIdentify_) {
        answeredIdentify_ = statusPanel_->identify();
        phone()->Answer(answeredIdentify_, 200);
      }
      return;
    case DialAction::kAreaQuery:
      SendToService(AreaQueryRequest(decision.number));
      return;
    case DialAction::kInvite:
      // Without a phone the window is never ready, so this is not reached.
      if (phone_ != nullptr) phone()->Invite(decision.number);
      return;
  }
}

void MainWindow::HangUpCommand() {
  numberBox_->clear();
  if (phone_ != nullptr && phone()->HasEndpoint()) {
    const int callState = statusPanel_->callState();
    if (callState == 1 || callState == 2) {
      phone()->Answer(statusPanel_->identify(), 400);
      statusPanel_->Finish();
      statusPanel_->SetRunning(false);
    } else {
      phone()->HangUp(0);
      if (callState != 0) {
        statusPanel_->Finish();
        statusPanel_->SetRunning(false);
      }
    }
  }
  if (sounds_ != nullptr) sounds_->StopAll();
}

void MainWindow::Callback() {
  DialContext context;
  context.loggedIn = state_.loggedIn;
  context.hasBalance = state_.hasBalance;
  context.callState = statusPanel_->callState();
  const std::string number = numberBox_->text().toStdString();
  const CallbackCheck check = CheckCallback(context, number);
  if (!check.message.empty()) {
    Prompt("回拨提示", check.message.c_str(), check.needsRecharge ? "充值" : nullptr);
    return;
  }
  numberBox_->clear();
  if (state_.networkModule.load() != nullptr && state_.loggedIn) {
    // The panel shows the call-back before the request leaves: the service's answer can reach
    // the worker before this thread runs again, and an answer to no call-back is ignored.
    statusPanel_->StartCallback(number);
    SendToService(CallbackRequest(state_.account.get(), number, CallbackKind::kCallback));
    PostCommand(this, kCommandShowStatusTab);
  }
}

void MainWindow::LogInOut() {
  if (phone_ != nullptr && phone()->HasEndpoint()) phone()->HangUp(0);
  if (state_.loggedIn) {
    SendToService(LogOffRequest(state_.account.get()));
    state_.loggedIn = false;
    ShowLoggedIn(false);
    RefreshTitle();
    return;
  }
  if (runLogin_) runLogin_();
  // The keyboard comes back here once the login window has closed, as to the window it was
  // opened from; without a window manager nothing else would give it back.
  if (isVisible()) activateWindow();
  ShowLoggedIn(state_.loggedIn);
  RefreshTitle();
}

void MainWindow::ToggleHidden() {
  const bool hide = isVisible();
  setVisible(!hide);
  if (trayActions_.count(1000)) trayActions_[1000]->setText(hide ? "显示" : "隐藏");
  hideState_ = hide ? HideState::kHidden : HideState::kShown;
}

void MainWindow::Exit() {
  const std::uint8_t answer = corvel::Prompt(
      this, PromptRequest("确认", "确定退出", PromptBox::kAlignCentredLine, "确定", "取消"));
  if (answer != PromptBox::kClosedByButton1) return;
  PostCommand(this, kCommandHangUp);
  // Queued behind the hang-up, as the window message of the exit command is.
  QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  tray_->hide();
}

void MainWindow::OpenWebPage(int id) {
  const Config config(state_.configPath.get());
  std::string address;
  std::string item;
  switch (id) {
    case 1007:
      address = config.rechargeHttp();
      break;
    case 1010:
      address = config.callRecordHttp(), item = "bill";
      break;
    case 1028:
      address = config.tipHttp(), item = "link";
      break;
    default:
      return;
  }
  if (!item.empty() && state_.loggedIn) {
    const std::string code = PasswordCode(state_.password.get(), state_.codeTable.get());
    address += "?t=client&item=" + item + "&u=" + state_.account.get() + "&m=" + code;
  }
  OpenUrl(QString::fromStdString(address));
}

void MainWindow::PopIncomingCall() {
  if (statusPanel_->callType() != kCallTypeIncoming || statusPanel_->callState() != 1) return;
  if (isVisible() && hideState_ != HideState::kSlid) return;
  // The call is reported twice before it rings here (before and after the 180): one box.
  if (statusPanel_->identify() == poppedIdentify_) return;
  poppedIdentify_ = statusPanel_->identify();
  phoneLog_.Log("[FACE] Pop Call Come Dialog\n");
  statusPanel_->setCallState(2);
  const std::uint8_t answer =
      corvel::Prompt(this, PromptRequest("来电", QString::fromStdString(statusPanel_->number()),
                                         PromptBox::kAlignCentredLine, "接听", "拒绝"));
  PostCommand(this, answer == PromptBox::kClosedByButton1 ? kCommandCallOrAnswer : kCommandHangUp);
  if (sounds_ != nullptr) sounds_->StopAll();
}

}  // namespace corvel
