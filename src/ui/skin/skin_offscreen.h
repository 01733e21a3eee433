// Every control draws into an off-screen pixmap of its size first and puts that on the screen
// in one step, so a half-drawn control is never seen. The same pixmap is what Render() returns.
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QSize>

namespace corvel {

// A transparent pixmap of the given size with draw(QPainter&) run on it; null when empty.
template <typename Draw>
QPixmap PaintOffscreen(QSize size, Draw&& draw) {
  if (size.isEmpty()) return QPixmap();
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  draw(painter);
  painter.end();
  return pixmap;
}

}  // namespace corvel
