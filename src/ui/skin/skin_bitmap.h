// Drawing and cutting skin bitmaps. A size of 0 means "the bitmap's own" as described per
// function; a target of the same size as the source is copied, any other is stretched
// (nearest pixel, as the artwork is pixel art). Returns 0, or -1 when the painter is missing or
// not active or the bitmap is null.
#pragma once

#include <QPainter>
#include <QPixmap>

namespace corvel {

// The whole bitmap at (x, y); width 0 or height 0 takes the bitmap's width or height.
int DrawBitmap(QPainter* painter, int x, int y, int width, int height, const QPixmap& bitmap,
               QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver);

// Part of the bitmap at (x, y). Source width 0 means bitmap width - source x, source height 0
// bitmap height - source y; width 0 means the source width, height 0 the source height.
int DrawBitmapPart(QPainter* painter, int x, int y, int width, int height, const QPixmap& bitmap,
                   int sourceX, int sourceY, int sourceWidth, int sourceHeight,
                   QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver);

// A new pixmap holding width x height of the bitmap from (x, y); width 0 means bitmap width - x,
// height 0 bitmap height - y. Parts outside the bitmap come out black (transparent where the
// bitmap has alpha). Null when the bitmap is null or nothing is left to cut.
QPixmap CropBitmap(const QPixmap& bitmap, int x, int y, int width = 0, int height = 0);

}  // namespace corvel
