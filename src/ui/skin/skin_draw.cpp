#include "ui/skin/skin_draw.h"

#include <QImage>
#include <QPen>
#include <QPixmap>

namespace corvel {
namespace {

// What the painter has drawn so far under deviceRect; only images and pixmaps can be read back.
QImage ReadBack(const QPainter& painter, QRect* deviceRect) {
  QPaintDevice* device = painter.device();
  switch (device->devType()) {
    case QInternal::Image: {
      const auto* image = static_cast<const QImage*>(device);
      *deviceRect &= image->rect();
      return deviceRect->isEmpty() ? QImage() : image->copy(*deviceRect);
    }
    case QInternal::Pixmap: {
      const auto* pixmap = static_cast<const QPixmap*>(device);
      *deviceRect &= pixmap->rect();
      return deviceRect->isEmpty() ? QImage() : pixmap->copy(*deviceRect).toImage();
    }
    default:
      return QImage();
  }
}

int Channel(int start, int end, int step, int steps) {
  return static_cast<int>(start + static_cast<double>(end - start) * step / steps);
}

}  // namespace

bool CanPaint(const QPainter* painter) {
  return painter != nullptr && painter->isActive();
}

int FillRectColor(QPainter* painter, int left, int top, int right, int bottom,
                  const QColor& color) {
  if (!CanPaint(painter)) return -1;
  if (right > left && bottom > top) painter->fillRect(left, top, right - left, bottom - top, color);
  return 0;
}

int DrawRectBorder(QPainter* painter, int left, int top, int right, int bottom, const QColor& color,
                   int penWidth) {
  if (!CanPaint(painter)) return -1;
  DrawLine(painter, left, top, right, top, color, penWidth);
  DrawLine(painter, left, top, left, bottom, color, penWidth);
  DrawLine(painter, left, bottom, right, bottom, color, penWidth);
  DrawLine(painter, right, top, right, bottom, color, penWidth);
  return 0;
}

int DrawLine(QPainter* painter, int x1, int y1, int x2, int y2, const QColor& color, int penWidth,
             Qt::PenStyle style) {
  if (!CanPaint(painter)) return -1;
  if (x1 == x2 && y1 == y2) return 0;
  painter->save();
  // A flat cap ends the line at its end point without covering it.
  painter->setPen(QPen(color, penWidth, style, Qt::FlatCap, Qt::MiterJoin));
  painter->drawLine(x1, y1, x2, y2);
  painter->restore();
  return 0;
}

int FillRegionColor(QPainter* painter, const QRegion& region, const QColor& color) {
  if (!CanPaint(painter) || region.isEmpty()) return -1;
  for (const QRect& rect : region)
    painter->fillRect(rect, color);
  return 0;
}

int FrameRegionColor(QPainter* painter, const QRegion& region, const QColor& color, int frameWidth,
                     int frameHeight) {
  if (!CanPaint(painter) || region.isEmpty()) return -1;
  if (frameWidth <= 0 && frameHeight <= 0) return 0;
  // What is left of the region when its outline is pushed inwards by the frame on every side.
  const QRegion inner = region & region.translated(frameWidth, 0) &
                        region.translated(-frameWidth, 0) & region.translated(0, frameHeight) &
                        region.translated(0, -frameHeight);
  const QRegion frame = region - inner;
  if (!frame.isEmpty()) FillRegionColor(painter, frame, color);
  return 0;
}

int AlphaFill(QPainter* painter, int x, int y, int width, int height, const QColor& color,
              int alpha) {
  if (!CanPaint(painter)) return -1;
  const int a = alpha & 0xff;
  if (a == 0) return -1;
  if (a == 255) return FillRectColor(painter, x, y, x + width, y + height, color);
  if (width <= 0 || height <= 0) return -1;

  QRect deviceRect = painter->combinedTransform().mapRect(QRect(x, y, width, height));
  QImage pixels = ReadBack(*painter, &deviceRect);
  if (pixels.isNull()) return -1;
  pixels.convertTo(QImage::Format_ARGB32);
  const int red = color.red() * a;
  const int green = color.green() * a;
  const int blue = color.blue() * a;
  const int keep = 256 - a;
  for (int row = 0; row < pixels.height(); ++row) {
    auto* line = reinterpret_cast<QRgb*>(pixels.scanLine(row));
    for (int column = 0; column < pixels.width(); ++column) {
      const QRgb old = line[column];
      line[column] = qRgba((red + qRed(old) * keep) >> 8, (green + qGreen(old) * keep) >> 8,
                           (blue + qBlue(old) * keep) >> 8, qAlpha(old));
    }
  }
  painter->save();
  painter->resetTransform();
  painter->setCompositionMode(QPainter::CompositionMode_Source);
  painter->drawImage(deviceRect.topLeft(), pixels);
  painter->restore();
  return 0;
}

int GradientFillHorizontal(QPainter* painter, const QRect& rect, const QColor& start,
                           const QColor& end, int stripeWidth) {
  if (!CanPaint(painter)) return -1;
  const int stripe = stripeWidth > 0 ? stripeWidth : 1;
  const int left = rect.x();
  const int right = rect.x() + rect.width();
  const int top = rect.y();
  const int bottom = rect.y() + rect.height();
  if (stripe >= rect.width()) return FillRectColor(painter, left, top, right, bottom, start);

  const int steps = rect.width() / stripe + 1;
  for (int i = 0;; ++i) {
    const int x1 = left + i * stripe;
    const int x2 = x1 + stripe;
    if (x2 >= right) {
      FillRectColor(painter, x1, top, right, bottom, end);
      break;
    }
    const QColor color(Channel(start.red(), end.red(), i, steps),
                       Channel(start.green(), end.green(), i, steps),
                       Channel(start.blue(), end.blue(), i, steps));
    FillRectColor(painter, x1, top, x2, bottom, color);
  }
  return 0;
}

}  // namespace corvel
