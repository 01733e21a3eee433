#include "ui/skin/window_drag.h"

#include <QWidget>
#include <QWindow>

namespace corvel {

bool WindowDrag::Press(QWidget& window, const QPoint& globalPos) {
  grabOffset_.reset();
  QWindow* handle = window.windowHandle();
  if (handle == nullptr) return false;
  if (handle->startSystemMove()) return true;
  grabOffset_ = globalPos - window.pos();
  return true;
}

void WindowDrag::PressByHand(QWidget& window, const QPoint& globalPos) {
  grabOffset_ = globalPos - window.pos();
}

bool WindowDrag::Move(QWidget& window, const QPoint& globalPos, bool leftButtonHeld) {
  if (!grabOffset_) return false;
  if (!leftButtonHeld) {
    // The release went elsewhere (a popup took the pointer): the drag is over.
    grabOffset_.reset();
    return false;
  }
  window.move(globalPos - *grabOffset_);
  return true;
}

}  // namespace corvel
