#include "ui/skin/skin_progress.h"

#include <algorithm>
#include <cstdint>

#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_offscreen.h"

namespace corvel {

SkinProgress::SkinProgress(QWidget* parent) : QProgressBar(parent) {
  setTextVisible(false);
  // QProgressBar skips repaints it judges too small to see by its own drawing; ours differs.
  // A level meter changes with every audio frame: only a change of the bar's end is painted.
  connect(this, &QProgressBar::valueChanged, this, [this] {
    if (barEnd() != paintedEnd_) update();
  });
}

void SkinProgress::setControlId(int id) {
  SetControlId(*this, id);
}

int SkinProgress::controlId() const {
  return ControlId(*this);
}

int SkinProgress::barEnd() const {
  const std::int64_t span = static_cast<std::int64_t>(maximum()) - minimum();
  if (span <= 0) return 0;
  const std::int64_t end = static_cast<std::int64_t>(width()) * value() / span;
  return static_cast<int>(std::clamp<std::int64_t>(end, 0, width()));
}

QImage SkinProgress::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

void SkinProgress::draw(QPainter& painter) const {
  const QRegion region = mask().isEmpty() ? QRegion(rect()) : mask();
  painter.setClipRegion(region);
  FillRectColor(&painter, 0, 0, width(), height(), background_);
  FillRectColor(&painter, 0, 0, barEnd(), height(), bar_);
  FrameRegionColor(&painter, region, border_, 1, 1);
}

void SkinProgress::paintEvent(QPaintEvent* /*event*/) {
  paintedEnd_ = barEnd();
  const QPixmap surface = PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); });
  QPainter(this).drawPixmap(0, 0, surface);
}

}  // namespace corvel
