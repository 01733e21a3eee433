// After a while without input the text caret stops blinking and stays lit, as desktops do
// (GNOME after 10 s): a blinking caret repaints its box and wakes the client twice a second for
// as long as the window is open, though nobody is typing.
#pragma once

#include <QBasicTimer>
#include <QObject>

namespace corvel {

class CaretRest : public QObject {
 public:
  static constexpr int kRestAfterMs = 10000;

  // Watches the input of the whole application; restores the blinking when destroyed.
  explicit CaretRest(QObject* parent = nullptr, int restAfterMs = kRestAfterMs);
  ~CaretRest() override;

  bool resting() const { return resting_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  void Rest();
  void Wake();

  const int flashMs_;  // the desktop's blinking period
  const int restAfterMs_;
  QBasicTimer idle_;
  bool resting_ = false;
};

}  // namespace corvel
