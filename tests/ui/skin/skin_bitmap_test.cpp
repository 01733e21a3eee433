#include "ui/skin/skin_bitmap.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::CoordinateColor;
using testing::CoordinatePixmap;
using testing::PixelAt;

const QColor kBlank(Qt::black);

// Where a drawing landed on a black canvas: the rectangle of non-black pixels.
QRect Covered(const QImage& image) {
  QRect covered;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (PixelAt(image, x, y) != kBlank) covered |= QRect(x, y, 1, 1);
    }
  }
  return covered;
}

struct PartCase {
  int width, height, sourceX, sourceY, sourceWidth, sourceHeight;
  QRect covered;       // on the canvas, drawn at (1, 1)
  QPoint firstSource;  // source pixel shown at the top-left of the drawing
  QPoint lastSource;   // source pixel shown at its bottom-right
};

class DrawBitmapPartTest : public ::testing::TestWithParam<PartCase> {};

// The source is 8 x 6 with every pixel a different colour.
TEST_P(DrawBitmapPartTest, ResolvesZeroSizesThenCopiesOrStretches) {
  const PartCase& c = GetParam();
  QImage canvas(24, 16, QImage::Format_RGB32);
  canvas.fill(kBlank);
  {
    QPainter painter(&canvas);
    EXPECT_EQ(DrawBitmapPart(&painter, 1, 1, c.width, c.height, CoordinatePixmap(8, 6), c.sourceX,
                             c.sourceY, c.sourceWidth, c.sourceHeight),
              0);
  }
  EXPECT_EQ(Covered(canvas), c.covered);
  EXPECT_EQ(PixelAt(canvas, c.covered.left(), c.covered.top()),
            CoordinateColor(c.firstSource.x(), c.firstSource.y()));
  EXPECT_EQ(PixelAt(canvas, c.covered.right(), c.covered.bottom()),
            CoordinateColor(c.lastSource.x(), c.lastSource.y()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawBitmapPartTest,
    ::testing::Values(
        // Source width and height 0: the rest of the bitmap from the source point.
        PartCase{0, 0, 2, 1, 0, 0, QRect(1, 1, 6, 5), {2, 1}, {7, 5}},
        PartCase{0, 0, 2, 1, 3, 0, QRect(1, 1, 3, 5), {2, 1}, {4, 5}},
        PartCase{0, 0, 0, 4, 0, 2, QRect(1, 1, 8, 2), {0, 4}, {7, 5}},
        // A target size of its own stretches; a zero one keeps the source's.
        PartCase{16, 12, 0, 0, 8, 6, QRect(1, 1, 16, 12), {0, 0}, {7, 5}},
        PartCase{16, 0, 0, 0, 8, 6, QRect(1, 1, 16, 6), {0, 0}, {7, 5}},
        PartCase{0, 12, 4, 0, 0, 6, QRect(1, 1, 4, 12), {4, 0}, {7, 5}}));

TEST(SkinBitmap, DrawBitmapPartWithNothingLeftDrawsNothing) {
  QImage canvas(10, 10, QImage::Format_RGB32);
  canvas.fill(kBlank);
  {
    QPainter painter(&canvas);
    EXPECT_EQ(DrawBitmapPart(&painter, 0, 0, 0, 0, CoordinatePixmap(8, 6), 8, 0, 0, 0), 0);
  }
  EXPECT_TRUE(Covered(canvas).isNull());
}

struct WholeCase {
  int width;
  int height;
  QSize covered;
};

class DrawBitmapTest : public ::testing::TestWithParam<WholeCase> {};

TEST_P(DrawBitmapTest, ZeroMeansTheBitmapsOwnSize) {
  const WholeCase& c = GetParam();
  QImage canvas(32, 20, QImage::Format_RGB32);
  canvas.fill(kBlank);
  {
    QPainter painter(&canvas);
    EXPECT_EQ(DrawBitmap(&painter, 2, 3, c.width, c.height, CoordinatePixmap(8, 6)), 0);
  }
  EXPECT_EQ(Covered(canvas), QRect(QPoint(2, 3), c.covered));
  EXPECT_EQ(PixelAt(canvas, 2, 3), CoordinateColor(0, 0));
  EXPECT_EQ(PixelAt(canvas, 2 + c.covered.width() - 1, 3 + c.covered.height() - 1),
            CoordinateColor(7, 5));
}

INSTANTIATE_TEST_SUITE_P(Cases, DrawBitmapTest,
                         ::testing::Values(WholeCase{0, 0, {8, 6}}, WholeCase{16, 0, {16, 6}},
                                           WholeCase{0, 12, {8, 12}}, WholeCase{24, 12, {24, 12}}));

TEST(SkinBitmap, DrawingRefusesANullBitmapOrPainter) {
  QImage canvas(4, 4, QImage::Format_RGB32);
  QPainter painter(&canvas);
  EXPECT_EQ(DrawBitmap(&painter, 0, 0, 0, 0, QPixmap()), -1);
  EXPECT_EQ(DrawBitmapPart(&painter, 0, 0, 0, 0, QPixmap(), 0, 0, 0, 0), -1);
  EXPECT_EQ(DrawBitmap(nullptr, 0, 0, 0, 0, CoordinatePixmap(2, 2)), -1);
  EXPECT_EQ(DrawBitmapPart(nullptr, 0, 0, 0, 0, CoordinatePixmap(2, 2), 0, 0, 0, 0), -1);
}

TEST(SkinBitmap, CopyModeReplacesTransparentPixelsWhereSourceOverKeepsTheCanvas) {
  QPixmap halfClear(2, 1);
  halfClear.fill(Qt::transparent);
  {
    QPainter painter(&halfClear);
    painter.fillRect(0, 0, 1, 1, Qt::red);
  }
  QImage over(2, 1, QImage::Format_ARGB32);
  over.fill(Qt::blue);
  QImage copied = over;
  {
    QPainter painter(&over);
    DrawBitmap(&painter, 0, 0, 0, 0, halfClear);
  }
  {
    QPainter painter(&copied);
    DrawBitmap(&painter, 0, 0, 0, 0, halfClear, QPainter::CompositionMode_Source);
  }
  EXPECT_EQ(over.pixelColor(1, 0), QColor(Qt::blue));
  EXPECT_EQ(copied.pixelColor(1, 0).alpha(), 0);
  EXPECT_EQ(copied.pixelColor(0, 0), QColor(Qt::red));
}

struct CropCase {
  int x, y, width, height;
  QSize size;  // empty: no pixmap
};

class CropBitmapTest : public ::testing::TestWithParam<CropCase> {};

TEST_P(CropBitmapTest, CutsThePartWithZeroMeaningTheRest) {
  const CropCase& c = GetParam();
  const QPixmap piece = CropBitmap(CoordinatePixmap(8, 6), c.x, c.y, c.width, c.height);
  if (c.size.isEmpty()) {
    EXPECT_TRUE(piece.isNull());
    return;
  }
  ASSERT_EQ(piece.size(), c.size);
  const QImage image = piece.toImage();
  EXPECT_EQ(PixelAt(image, 0, 0), CoordinateColor(c.x, c.y));
  const int lastX = c.x + c.size.width() - 1;
  const int lastY = c.y + c.size.height() - 1;
  if (lastX < 8 && lastY < 6) {
    EXPECT_EQ(PixelAt(image, c.size.width() - 1, c.size.height() - 1),
              CoordinateColor(lastX, lastY));
  } else {
    EXPECT_EQ(PixelAt(image, c.size.width() - 1, c.size.height() - 1), QColor(Qt::black));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropBitmapTest,
    ::testing::Values(CropCase{0, 0, 0, 0, {8, 6}}, CropCase{2, 1, 0, 0, {6, 5}},
                      CropCase{2, 1, 3, 0, {3, 5}}, CropCase{2, 1, 0, 2, {6, 2}},
                      CropCase{1, 1, 2, 2, {2, 2}},
                      // Beyond the bitmap the piece keeps its size; the outside is black.
                      CropCase{6, 4, 4, 4, {4, 4}},
                      // Nothing left to cut.
                      CropCase{8, 0, 0, 0, {}}, CropCase{0, 6, 0, 0, {}}));

TEST(SkinBitmap, CropOfANullBitmapIsNull) {
  EXPECT_TRUE(CropBitmap(QPixmap(), 0, 0, 4, 4).isNull());
}

}  // namespace
}  // namespace corvel
