#include "ui/ui_peers.h"

#include <QMetaObject>

#include "ui/conference_window.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/phone_controls.h"
#include "ui/status_panel.h"
#include "ui/window_message.h"

namespace corvel {

void UiPeers::SetMainWindow(MainWindow* window) {
  std::lock_guard lock(mainMutex_);
  mainWindow_ = window;
}

void UiPeers::OnMainWindow(std::function<void(MainWindow&)> work) {
  std::lock_guard lock(mainMutex_);
  if (mainWindow_ == nullptr) return;
  MainWindow* window = mainWindow_;
  // Queued events to one object run in the order they were posted.
  QMetaObject::invokeMethod(
      window, [window, work = std::move(work)] { work(*window); }, Qt::QueuedConnection);
}

bool UiPeers::HasLoginWindow() const {
  return loginWindow_.isOpen();
}

bool UiPeers::HasMainWindow() const {
  std::lock_guard lock(mainMutex_);
  return mainWindow_ != nullptr;
}

void UiPeers::PostToLoginWindow(WindowMessage message, std::uint32_t wParam) {
  PostWindowMessage(&loginWindow_, message, wParam);
}

void UiPeers::PostToMainWindow(WindowMessage message, std::uint32_t wParam) {
  std::lock_guard lock(mainMutex_);
  PostWindowMessage(mainWindow_, message, wParam);
}

void UiPeers::PostMainCommand(MainWindowCommand command) {
  std::lock_guard lock(mainMutex_);
  PostCommand(mainWindow_, command);
}

void UiPeers::RepaintBalance() {
  RepaintMainWindow();
}

void UiPeers::RepaintMainWindow() {
  OnMainWindow([](MainWindow& window) { window.update(); });
}

int UiPeers::CallState() const {
  std::lock_guard lock(mainMutex_);
  return mainWindow_ != nullptr ? mainWindow_->statusPanel()->callState() : 0;
}

std::string UiPeers::CallType() const {
  std::lock_guard lock(mainMutex_);
  return mainWindow_ != nullptr ? mainWindow_->statusPanel()->callType() : std::string();
}

void UiPeers::SetCallbackTimeout(bool on) {
  OnMainWindow([on](MainWindow& window) { window.statusPanel()->SetCallbackTimeout(on); });
}

void UiPeers::SetStatusText(const std::string& text) {
  OnMainWindow([text](MainWindow& window) { window.statusPanel()->setStatusText(text); });
}

void UiPeers::FinishCall() {
  OnMainWindow([](MainWindow& window) { window.statusPanel()->Finish(); });
}

void UiPeers::SetRunning(bool on) {
  OnMainWindow([on](MainWindow& window) { window.statusPanel()->SetRunning(on); });
}

void UiPeers::SetIdentify(std::uint32_t identify) {
  OnMainWindow([identify](MainWindow& window) { window.statusPanel()->setIdentify(identify); });
}

bool UiPeers::HasConferenceWindow() const {
  std::lock_guard lock(mainMutex_);
  return mainWindow_ != nullptr && mainWindow_->hasConferenceWindow();
}

// The row is made from the panel as it stands once the worker's earlier calls (the status text,
// the finish) have been handled.
void UiPeers::AddMemberFromStatusPanel() {
  OnMainWindow([](MainWindow& window) {
    if (ConferenceWindow* conference = window.conferenceWindow()) {
      conference->AddMember(*window.statusPanel());
    }
  });
}

void UiPeers::RemoveMember(const std::string& phone, std::uint32_t memberId) {
  OnMainWindow([phone, memberId](MainWindow& window) {
    if (ConferenceWindow* conference = window.conferenceWindow()) {
      conference->RemoveMember(phone, memberId);
    }
  });
}

bool UiPeers::HasSipEndpoint() const {
  std::lock_guard lock(mainMutex_);
  return mainWindow_ != nullptr && mainWindow_->phone() != nullptr &&
         mainWindow_->phone()->HasEndpoint();
}

void UiPeers::HangUpAllCalls() {
  OnMainWindow([](MainWindow& window) {
    if (window.phone() != nullptr) window.phone()->HangUp(0);
  });
}

void UiPeers::Invite(const std::string& number) {
  OnMainWindow([number](MainWindow& window) {
    if (window.phone() != nullptr) window.phone()->Invite(number);
  });
}

}  // namespace corvel
