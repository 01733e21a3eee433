// The animated strip that shows a pending login: a boundary runs left and right across it, with
// a colour gradient towards it from each side.
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QWidget>

namespace corvel {

class BusyStrip : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kStepPixels = 5;
  static constexpr int kStepMs = 30;

  explicit BusyStrip(QWidget* parent = nullptr);

  // Starting or stopping puts the boundary back at the left edge.
  void Start();
  void Stop();
  bool running() const { return timer_.isActive(); }
  int boundary() const { return boundary_; }
  void Step();  // one timer tick

  QColor baseColor() const { return base_; }
  QColor highlightColor() const { return highlight_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  QBasicTimer timer_;
  int boundary_ = 0;
  int direction_ = 1;
  QColor base_{0xD6, 0xE6, 0xEE};
  QColor highlight_{0x0E, 0x7C, 0x86};
};

}  // namespace corvel
