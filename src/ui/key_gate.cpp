#include "ui/key_gate.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace corvel {
namespace {

int KeyOf(const QKeyEvent& key) {
  // The physical key where the platform tells it: the key code can change with the modifiers
  // between press and release.
  return key.nativeScanCode() != 0 ? static_cast<int>(key.nativeScanCode()) | 0x40000000
                                   : key.key();
}

}  // namespace

KeyGate::KeyGate(QWidget& window) : QObject(&window), window_(window) {
  // On the application rather than on the native window, which Qt may replace while the widget
  // lives.
  QCoreApplication::instance()->installEventFilter(this);
}

bool KeyGate::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::WindowDeactivate) {
    return false;
  }
  if (type == QEvent::WindowDeactivate) {
    // Keys pressed here and released elsewhere must not count as pressed here later.
    if (watched == &window_) pressedHere_.clear();
    return false;
  }
  QWindow* handle = window_.windowHandle();
  if (handle == nullptr || watched != handle) return false;
  return !Admit(*static_cast<QKeyEvent*>(event));
}

bool KeyGate::Admit(const QKeyEvent& key) {
  const int id = KeyOf(key);
  if (key.type() == QEvent::KeyPress) {
    if (key.isAutoRepeat()) return pressedHere_.count(id) != 0;
    const auto foreign = foreignRelease_.find(id);
    if (foreign != foreignRelease_.end()) {
      const bool repeat = foreign->second != 0 && foreign->second == key.timestamp();
      foreignRelease_.erase(foreign);
      if (repeat) return false;
    }
    pressedHere_.insert(id);
    return true;
  }
  if (pressedHere_.count(id) != 0) {
    if (!key.isAutoRepeat()) pressedHere_.erase(id);
    return true;
  }
  foreignRelease_[id] = key.timestamp();
  return false;
}

}  // namespace corvel
