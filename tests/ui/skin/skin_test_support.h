// Shared pieces of the skin tests: synthetic artwork, pixel reading, and registered skin images
// that are forgotten again when a test ends.
#pragma once

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include <cstdlib>
#include <initializer_list>
#include <ostream>
#include <utility>

#include "ui/skin/skin_images.h"

namespace corvel::testing {

inline QPixmap SolidPixmap(int width, int height, const QColor& color) {
  QPixmap pixmap(width, height);
  pixmap.fill(color);
  return pixmap;
}

// Pieces of the same size stacked downwards, one colour each.
inline QPixmap StackedPixmap(int width, int pieceHeight, std::initializer_list<QColor> colors) {
  QPixmap pixmap(width, pieceHeight * static_cast<int>(colors.size()));
  QPainter painter(&pixmap);
  int top = 0;
  for (const QColor& color : colors) {
    painter.fillRect(0, top, width, pieceHeight, color);
    top += pieceHeight;
  }
  return pixmap;
}

// The colour of pixel (x, y) of a CoordinatePixmap: red from x, green from y, never black.
inline QColor CoordinateColor(int x, int y) {
  return QColor(x % 256, y % 256, 255);
}

// Every pixel (within 256 x 256) a different colour.
inline QPixmap CoordinatePixmap(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, CoordinateColor(x, y).rgb());
  }
  return QPixmap::fromImage(image);
}

// The colour of one pixel, opaque, for comparisons.
inline QColor PixelAt(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y)).toRgb();
}

// The columns that hold some pixel differing from background, or an empty range.
struct ColumnSpan {
  int first = -1;
  int last = -1;
  bool empty() const { return first < 0; }
};

inline ColumnSpan InkColumns(const QImage& image, const QRect& area, const QColor& background) {
  ColumnSpan span;
  for (int x = area.left(); x <= area.right(); ++x) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      if (PixelAt(image, x, y) != background) {
        if (span.first < 0) span.first = x;
        span.last = x;
        break;
      }
    }
  }
  return span;
}

// Whether some pixel is within tolerance of color in every channel (anti-aliased text rarely
// reaches its colour exactly).
inline bool HasPixelNear(const QImage& image, const QColor& color, int tolerance) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = PixelAt(image, x, y);
      if (std::abs(pixel.red() - color.red()) <= tolerance &&
          std::abs(pixel.green() - color.green()) <= tolerance &&
          std::abs(pixel.blue() - color.blue()) <= tolerance) {
        return true;
      }
    }
  }
  return false;
}

inline int CountPixels(const QImage& image, const QColor& color) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      count += PixelAt(image, x, y) == color ? 1 : 0;
  }
  return count;
}

// Registers skin images for one test and clears every registration afterwards.
class SkinImageTest : public ::testing::Test {
 protected:
  void TearDown() override { ClearSkinImagesForTesting(); }
  static void UseImage(int id, const QPixmap& image) { SetSkinImageForTesting(id, image); }
  static void MissingImage(int id) { SetSkinImageForTesting(id, QPixmap()); }
};

}  // namespace corvel::testing

// Readable colours in failure messages.
inline void PrintTo(const QColor& color, std::ostream* out) {
  *out << "rgb(" << color.red() << "," << color.green() << "," << color.blue() << ")";
}
