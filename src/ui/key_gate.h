// Keeps key strokes that began in another window out of one window. A key still held when a
// dialog closes goes on repeating into whichever window takes the focus next, and its release
// lands there too: the main window must not act on an Enter that was meant for the login window.
#pragma once

#include <QObject>
#include <map>
#include <set>

class QKeyEvent;
class QWidget;

namespace corvel {

class KeyGate : public QObject {
  Q_OBJECT

 public:
  // Watches the key events of window's top-level window; lives as window's child.
  explicit KeyGate(QWidget& window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // True when the event may go on to the window.
  bool Admit(const QKeyEvent& key);

  QWidget& window_;
  std::set<int> pressedHere_;  // keys whose first press this window received
  // Keys released here without a press here, with the release's time: the X server repeats a
  // held key as release and press at one time, and the press after such a release is a repeat
  // even when it is not marked as one.
  std::map<int, unsigned long long> foreignRelease_;
};

}  // namespace corvel
