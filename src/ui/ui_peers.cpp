#include "ui/ui_peers.h"

#include <QMetaObject>

#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/window_message.h"

namespace corvel {

void UiPeers::SetMainWindow(MainWindow* window) {
  std::lock_guard lock(mainMutex_);
  mainWindow_ = window;
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
  std::lock_guard lock(mainMutex_);
  if (mainWindow_ != nullptr) {
    QMetaObject::invokeMethod(mainWindow_, qOverload<>(&QWidget::update), Qt::QueuedConnection);
  }
}

}  // namespace corvel
