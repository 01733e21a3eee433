// Drawing helpers of the skinned controls and windows. Rectangles are left, top, right, bottom
// with right and bottom exclusive. Lines leave out their end point, so a line from x1 to x2
// covers x1 .. x2 - 1. Every helper returns 0, or -1 when the painter is missing or not active
// or an input is missing; the painter's pen, brush and composition mode are as they were when it
// returns. Drawing stays inside the painter's clip.
#pragma once

#include <QColor>
#include <QPainter>
#include <QRect>
#include <QRegion>

namespace corvel {

// True when painter is non-null and active.
bool CanPaint(const QPainter* painter);

int FillRectColor(QPainter* painter, int left, int top, int right, int bottom, const QColor& color);

// The four sides as lines: top, left, bottom, right. The pixel (right, bottom) is the end point
// of two of them and stays untouched.
int DrawRectBorder(QPainter* painter, int left, int top, int right, int bottom, const QColor& color,
                   int penWidth);

int DrawLine(QPainter* painter, int x1, int y1, int x2, int y2, const QColor& color, int penWidth,
             Qt::PenStyle style = Qt::SolidLine);

// -1 for an empty region.
int FillRegionColor(QPainter* painter, const QRegion& region, const QColor& color);

// A band frameWidth wide on the left and right and frameHeight high at the top and bottom,
// inside the region's outline. -1 for an empty region.
int FrameRegionColor(QPainter* painter, const QRegion& region, const QColor& color, int frameWidth,
                     int frameHeight);

// Blends color over the area: per channel (color * a + destination * (256 - a)) >> 8 with a the
// low byte of alpha. a = 0 draws nothing and returns -1; a = 255 is a plain fill. The blend reads
// the pixels drawn so far, so the painter must paint on a QImage or QPixmap (as every control
// does, off-screen first); other devices, and an empty area, give -1. Coordinates go through the
// painter's transform, which must not scale.
int AlphaFill(QPainter* painter, int x, int y, int width, int height, const QColor& color,
              int alpha);

// Left-to-right stripes stripeWidth wide (0 or less counts as 1). A stripe width of at least the
// rectangle's width fills it with start. Otherwise, with n = width / stripeWidth, stripe i has
// start + (end - start) * i / (n + 1) per channel, truncated, and the stripe reaching the right
// edge is cut there and has the end colour.
int GradientFillHorizontal(QPainter* painter, const QRect& rect, const QColor& start,
                           const QColor& end, int stripeWidth);

}  // namespace corvel
