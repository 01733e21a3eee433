#include "ui/skin/skin_static.h"

#include <QFontMetrics>

#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_text.h"

namespace corvel {

SkinStatic::SkinStatic(QWidget* parent) : QWidget(parent) {}

SkinStatic::SkinStatic(const QString& text, QWidget* parent) : QWidget(parent), text_(text) {}

void SkinStatic::setControlId(int id) {
  SetControlId(*this, id);
}

int SkinStatic::controlId() const {
  return ControlId(*this);
}

void SkinStatic::setText(const QString& text) {
  text_ = text;
  updateGeometry();
  update();
}

void SkinStatic::setBackgroundColor(const QColor& color) {
  background_ = color;
  update();
}

void SkinStatic::setAlignment(int alignment) {
  alignment_ = alignment;
  update();
}

QSize SkinStatic::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(text_) + 4, metrics.height() + 4};
}

QImage SkinStatic::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

void SkinStatic::draw(QPainter& painter) const {
  painter.setClipRegion(mask().isEmpty() ? QRegion(rect()) : mask());
  FillRectColor(&painter, 0, 0, width(), height(), background_);
  if (alignment_ == kAlignCenter) {
    DrawTextLine(painter, rect(), text_, Qt::AlignHCenter, font(), Qt::black);
  } else if (alignment_ == kAlignLeft) {
    DrawTextLine(painter, rect(), text_, Qt::AlignLeft, font(), Qt::black);
  }
}

void SkinStatic::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface = PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); });
  QPainter(this).drawPixmap(0, 0, surface);
}

}  // namespace corvel
