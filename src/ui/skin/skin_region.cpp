#include "ui/skin/skin_region.h"

#include <QRect>

#include <algorithm>
#include <cmath>

namespace corvel {
namespace {

// How many pixels row y is cut on each side by the corner ellipses.
int RowInset(int y, int height, double radiusX, double radiusY) {
  const double centre = y + 0.5;
  double distance = 0;  // from the nearest corner ellipse's centre line
  if (centre < radiusY) {
    distance = radiusY - centre;
  } else if (centre > height - radiusY) {
    distance = centre - (height - radiusY);
  }
  if (distance <= 0) return 0;
  const double ratio = distance / radiusY;
  const double halfChord = radiusX * std::sqrt(std::max(0.0, 1 - ratio * ratio));
  return std::max(0, static_cast<int>(std::ceil(radiusX - halfChord - 0.5)));
}

}  // namespace

QRegion RoundRectRegion(int width, int height, int ellipseWidth, int ellipseHeight) {
  if (width <= 0 || height <= 0) return QRegion();
  const int ellipseW = std::min(ellipseWidth, width);
  const int ellipseH = std::min(ellipseHeight, height);
  if (ellipseW < 2 || ellipseH < 2) return QRegion(0, 0, width, height);

  QRegion region;
  int bandTop = 0;
  int bandInset = RowInset(0, height, ellipseW / 2.0, ellipseH / 2.0);
  for (int y = 1; y <= height; ++y) {
    const int inset = y < height ? RowInset(y, height, ellipseW / 2.0, ellipseH / 2.0) : -1;
    if (inset == bandInset) continue;
    if (width > 2 * bandInset)
      region += QRect(bandInset, bandTop, width - 2 * bandInset, y - bandTop);
    bandTop = y;
    bandInset = inset;
  }
  return region;
}

}  // namespace corvel
