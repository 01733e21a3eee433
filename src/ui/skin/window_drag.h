// Moving a frameless window by a press on its surface. The window manager moves it where it can;
// without one (a bare X server) startSystemMove() is refused and the window follows the pointer
// itself until the button is released.
#pragma once

#include <QPoint>
#include <optional>

class QWidget;

namespace corvel {

class WindowDrag {
 public:
  // A left press at globalPos starts moving window. Returns false when it has no native window.
  bool Press(QWidget& window, const QPoint& globalPos);
  // Starts moving window by hand even where a window manager could move it: for a drag that
  // starts only once the pointer has already moved, which a window manager would not catch up.
  void PressByHand(QWidget& window, const QPoint& globalPos);
  // Follows the pointer while the drag is done by hand and the left button is held; true when
  // the window was moved.
  bool Move(QWidget& window, const QPoint& globalPos, bool leftButtonHeld);
  void Release() { grabOffset_.reset(); }

  // Moving by hand, as opposed to by the window manager or not at all.
  bool byHand() const { return grabOffset_.has_value(); }

 private:
  // Where the press grabbed the window, while it is moved by hand.
  std::optional<QPoint> grabOffset_;
};

}  // namespace corvel
