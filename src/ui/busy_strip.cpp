#include "ui/busy_strip.h"

#include <QPainter>
#include <QTimerEvent>

#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_offscreen.h"

namespace corvel {

BusyStrip::BusyStrip(QWidget* parent) : QWidget(parent) {}

void BusyStrip::Start() {
  boundary_ = 0;
  direction_ = 1;
  timer_.start(kStepMs, this);
  update();
}

void BusyStrip::Stop() {
  timer_.stop();
  boundary_ = 0;
  direction_ = 1;
  update();
}

void BusyStrip::Step() {
  boundary_ += direction_ * kStepPixels;
  if (boundary_ >= width()) {
    boundary_ = width();
    direction_ = -1;
  } else if (boundary_ <= 0) {
    boundary_ = 0;
    direction_ = 1;
  }
  update();
}

void BusyStrip::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timer_.timerId()) Step();
}

void BusyStrip::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface = PaintOffscreen(size(), [this](QPainter& painter) {
    const int h = height();
    FillRectColor(&painter, 0, 0, width(), h, base_);
    if (boundary_ > 0)
      GradientFillHorizontal(&painter, QRect(0, 0, boundary_, h), base_, highlight_, 2);
    if (boundary_ < width()) {
      GradientFillHorizontal(&painter, QRect(boundary_, 0, width() - boundary_, h), highlight_,
                             base_, 2);
    }
  });
  QPainter(this).drawPixmap(0, 0, surface);
}

}  // namespace corvel
