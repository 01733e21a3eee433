#include "ui/skin/skin_bitmap.h"

#include <QImage>

#include "ui/skin/skin_draw.h"

namespace corvel {

int DrawBitmap(QPainter* painter, int x, int y, int width, int height, const QPixmap& bitmap,
               QPainter::CompositionMode mode) {
  return DrawBitmapPart(painter, x, y, width != 0 ? width : bitmap.width(),
                        height != 0 ? height : bitmap.height(), bitmap, 0, 0, bitmap.width(),
                        bitmap.height(), mode);
}

int DrawBitmapPart(QPainter* painter, int x, int y, int width, int height, const QPixmap& bitmap,
                   int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                   QPainter::CompositionMode mode) {
  if (!CanPaint(painter) || bitmap.isNull()) return -1;
  if (sourceWidth == 0) sourceWidth = bitmap.width() - sourceX;
  if (sourceHeight == 0) sourceHeight = bitmap.height() - sourceY;
  if (width == 0) width = sourceWidth;
  if (height == 0) height = sourceHeight;
  if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) return 0;

  painter->save();
  painter->setCompositionMode(mode);
  painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
  const QRect source(sourceX, sourceY, sourceWidth, sourceHeight);
  if (width == sourceWidth && height == sourceHeight) {
    painter->drawPixmap(QPoint(x, y), bitmap, source);
  } else {
    painter->drawPixmap(QRect(x, y, width, height), bitmap, source);
  }
  painter->restore();
  return 0;
}

QPixmap CropBitmap(const QPixmap& bitmap, int x, int y, int width, int height) {
  if (bitmap.isNull()) return QPixmap();
  if (width == 0) width = bitmap.width() - x;
  if (height == 0) height = bitmap.height() - y;
  if (width <= 0 || height <= 0) return QPixmap();
  // QImage::copy keeps the requested size and fills what lies outside with zeros.
  return QPixmap::fromImage(bitmap.toImage().copy(x, y, width, height));
}

}  // namespace corvel
