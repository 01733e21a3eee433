#include "ui/skin/skin_draw.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPicture>

#include <functional>
#include <vector>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::PixelAt;

QImage Canvas(int width, int height, const QColor& color) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(color);
  return image;
}

TEST(SkinDraw, EveryHelperRefusesAMissingOrInactivePainter) {
  const std::vector<std::function<int(QPainter*)>> helpers = {
      [](QPainter* p) { return FillRectColor(p, 0, 0, 4, 4, Qt::red); },
      [](QPainter* p) { return DrawRectBorder(p, 0, 0, 4, 4, Qt::red, 1); },
      [](QPainter* p) { return DrawLine(p, 0, 0, 4, 4, Qt::red, 1); },
      [](QPainter* p) { return FillRegionColor(p, QRegion(0, 0, 4, 4), Qt::red); },
      [](QPainter* p) { return FrameRegionColor(p, QRegion(0, 0, 4, 4), Qt::red, 1, 1); },
      [](QPainter* p) { return AlphaFill(p, 0, 0, 4, 4, Qt::red, 128); },
      [](QPainter* p) {
        return GradientFillHorizontal(p, QRect(0, 0, 4, 4), Qt::red, Qt::blue, 1);
      },
  };
  QPainter inactive;
  for (std::size_t i = 0; i < helpers.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(helpers[i](nullptr), -1);
    EXPECT_EQ(helpers[i](&inactive), -1);
  }
}

TEST(SkinDraw, RegionHelpersRefuseAnEmptyRegion) {
  QImage image = Canvas(4, 4, Qt::white);
  QPainter painter(&image);
  EXPECT_EQ(FillRegionColor(&painter, QRegion(), Qt::red), -1);
  EXPECT_EQ(FrameRegionColor(&painter, QRegion(), Qt::red, 1, 1), -1);
}

struct AlphaCase {
  int alpha;
  QColor under;
  QColor color;
  int expectedResult;
  QColor expected;
};

class AlphaFillTest : public ::testing::TestWithParam<AlphaCase> {};

TEST_P(AlphaFillTest, BlendsWithTheLowByteOfAlpha) {
  const AlphaCase& c = GetParam();
  QImage image = Canvas(6, 6, Qt::green);
  {
    QPainter painter(&image);
    painter.fillRect(1, 1, 4, 4, c.under);
    EXPECT_EQ(AlphaFill(&painter, 1, 1, 4, 4, c.color, c.alpha), c.expectedResult);
  }
  EXPECT_EQ(PixelAt(image, 1, 1), c.expected);
  EXPECT_EQ(PixelAt(image, 4, 4), c.expected);
  EXPECT_EQ(PixelAt(image, 0, 0), QColor(Qt::green));
  EXPECT_EQ(PixelAt(image, 5, 5), QColor(Qt::green));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AlphaFillTest,
    ::testing::Values(
        AlphaCase{0, Qt::white, Qt::black, -1, Qt::white},
        AlphaCase{256, Qt::white, Qt::black, -1, Qt::white},  // low byte 0
        AlphaCase{255, Qt::white, QColor(10, 20, 30), 0, QColor(10, 20, 30)},
        AlphaCase{128, Qt::white, Qt::black, 0, QColor(127, 127, 127)},
        AlphaCase{128 + 512, Qt::white, Qt::black, 0, QColor(127, 127, 127)},
        // 50/256 of blue over grey: (0*50 + 192*206) >> 8 = 154, (255*50 + 192*206) >> 8 = 204.
        AlphaCase{50, QColor(192, 192, 192), QColor(0, 0, 255), 0, QColor(154, 154, 204)},
        AlphaCase{1, QColor(255, 0, 100), QColor(0, 255, 100), 0, QColor(254, 0, 100)}));

TEST(SkinDraw, AlphaFillFollowsThePaintersTranslationAndClip) {
  QImage image = Canvas(10, 10, Qt::white);
  {
    QPainter painter(&image);
    painter.translate(2, 3);
    painter.setClipRect(0, 0, 2, 1);
    EXPECT_EQ(AlphaFill(&painter, 0, 0, 4, 4, Qt::black, 128), 0);
  }
  EXPECT_EQ(PixelAt(image, 2, 3), QColor(127, 127, 127));
  EXPECT_EQ(PixelAt(image, 3, 3), QColor(127, 127, 127));
  EXPECT_EQ(PixelAt(image, 4, 3), QColor(Qt::white));  // clipped away
  EXPECT_EQ(PixelAt(image, 2, 4), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 0, 0), QColor(Qt::white));
}

TEST(SkinDraw, AlphaFillWorksOnPixmapsAndNotOnDevicesItCannotRead) {
  QPixmap pixmap = testing::SolidPixmap(4, 4, Qt::white);
  {
    QPainter painter(&pixmap);
    EXPECT_EQ(AlphaFill(&painter, 0, 0, 4, 4, Qt::black, 128), 0);
    EXPECT_EQ(AlphaFill(&painter, 0, 0, 0, 4, Qt::black, 128), -1);
  }
  EXPECT_EQ(PixelAt(pixmap.toImage(), 2, 2), QColor(127, 127, 127));

  QPicture picture;
  QPainter recorder(&picture);
  EXPECT_EQ(AlphaFill(&recorder, 0, 0, 4, 4, Qt::black, 128), -1);
}

struct Stripe {
  int from;
  int to;  // exclusive
  QColor color;
};

struct GradientCase {
  int left;
  int width;
  int stripe;
  std::vector<Stripe> expected;
};

class GradientTest : public ::testing::TestWithParam<GradientCase> {};

const QColor kStart(10, 200, 0);
const QColor kEnd(100, 0, 255);

TEST_P(GradientTest, FillsStripesLeftToRight) {
  const GradientCase& c = GetParam();
  QImage image = Canvas(c.left + c.width + 2, 3, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(
        GradientFillHorizontal(&painter, QRect(c.left, 1, c.width, 1), kStart, kEnd, c.stripe), 0);
  }
  for (const Stripe& stripe : c.expected) {
    for (int x = stripe.from; x < stripe.to; ++x) {
      SCOPED_TRACE(x);
      EXPECT_EQ(PixelAt(image, x, 1), stripe.color);
      EXPECT_EQ(PixelAt(image, x, 0), QColor(Qt::white));
      EXPECT_EQ(PixelAt(image, x, 2), QColor(Qt::white));
    }
  }
  EXPECT_EQ(PixelAt(image, c.left + c.width, 1), QColor(Qt::white));
  if (c.left > 0) {
    EXPECT_EQ(PixelAt(image, c.left - 1, 1), QColor(Qt::white));
  }
}

// Middle colours: start + (end - start) * i / (n + 1), truncated as a whole, so the falling
// green 200 - 200/3 = 133.3 gives 133.
INSTANTIATE_TEST_SUITE_P(
    Cases, GradientTest,
    ::testing::Values(
        GradientCase{0, 10, 4, {{0, 4, kStart}, {4, 8, QColor(40, 133, 85)}, {8, 10, kEnd}}},
        GradientCase{3, 10, 4, {{3, 7, kStart}, {7, 11, QColor(40, 133, 85)}, {11, 13, kEnd}}},
        // The stripe that ends exactly at the right edge is the last, with the end colour.
        GradientCase{0, 8, 4, {{0, 4, kStart}, {4, 8, kEnd}}},
        GradientCase{0, 10, 10, {{0, 10, kStart}}}, GradientCase{0, 10, 25, {{0, 10, kStart}}},
        // Stripe width 0 or less counts as 1: n = 3, so i / 4.
        GradientCase{0, 3, 0, {{0, 1, kStart}, {1, 2, QColor(32, 150, 63)}, {2, 3, kEnd}}},
        GradientCase{0, 3, -5, {{0, 1, kStart}, {1, 2, QColor(32, 150, 63)}, {2, 3, kEnd}}}));

TEST(SkinDraw, FillRectColorTakesRightAndBottomAsExclusive) {
  QImage image = Canvas(6, 6, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(FillRectColor(&painter, 1, 2, 4, 5, Qt::red), 0);
    EXPECT_EQ(FillRectColor(&painter, 4, 4, 2, 2, Qt::blue), 0);  // inverted: nothing
  }
  EXPECT_EQ(testing::CountPixels(image, Qt::red), 9);
  EXPECT_EQ(PixelAt(image, 1, 2), QColor(Qt::red));
  EXPECT_EQ(PixelAt(image, 3, 4), QColor(Qt::red));
  EXPECT_EQ(testing::CountPixels(image, Qt::blue), 0);
}

TEST(SkinDraw, LinesLeaveOutTheirEndPoint) {
  QImage image = Canvas(12, 12, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(DrawLine(&painter, 2, 1, 8, 1, Qt::red, 1), 0);
    EXPECT_EQ(DrawLine(&painter, 1, 3, 1, 9, Qt::blue, 1), 0);
  }
  EXPECT_EQ(testing::CountPixels(image, Qt::red), 6);
  EXPECT_EQ(PixelAt(image, 2, 1), QColor(Qt::red));
  EXPECT_EQ(PixelAt(image, 7, 1), QColor(Qt::red));
  EXPECT_EQ(testing::CountPixels(image, Qt::blue), 6);
  EXPECT_EQ(PixelAt(image, 1, 3), QColor(Qt::blue));
  EXPECT_EQ(PixelAt(image, 1, 8), QColor(Qt::blue));
}

TEST(SkinDraw, DashedLinesHaveGaps) {
  QImage image = Canvas(40, 3, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(DrawLine(&painter, 0, 1, 40, 1, Qt::red, 1, Qt::DashLine), 0);
  }
  const int red = testing::CountPixels(image, Qt::red);
  EXPECT_GT(red, 10);
  EXPECT_LT(red, 40);
}

TEST(SkinDraw, RectBorderDrawsTheFourSidesUpToTheirEndPoints) {
  QImage image = Canvas(10, 10, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(DrawRectBorder(&painter, 2, 2, 7, 6, Qt::black, 1), 0);
  }
  const QColor black(Qt::black);
  for (int x = 2; x < 7; ++x) {
    EXPECT_EQ(PixelAt(image, x, 2), black) << x;
    EXPECT_EQ(PixelAt(image, x, 6), black) << x;
  }
  for (int y = 2; y < 6; ++y) {
    EXPECT_EQ(PixelAt(image, 2, y), black) << y;
    EXPECT_EQ(PixelAt(image, 7, y), black) << y;
  }
  EXPECT_EQ(PixelAt(image, 7, 6), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 4, 4), QColor(Qt::white));
  // Top and bottom 5 each, left 4 of which (2,2) is the top's, right 4.
  EXPECT_EQ(testing::CountPixels(image, black), 5 + 5 + 3 + 4);
}

TEST(SkinDraw, FillRegionColorFillsEveryPartOfTheRegion) {
  QImage image = Canvas(10, 10, Qt::white);
  const QRegion region = QRegion(0, 0, 2, 2) + QRegion(5, 5, 3, 1);
  {
    QPainter painter(&image);
    EXPECT_EQ(FillRegionColor(&painter, region, Qt::red), 0);
  }
  EXPECT_EQ(testing::CountPixels(image, Qt::red), 4 + 3);
  EXPECT_EQ(PixelAt(image, 7, 5), QColor(Qt::red));
}

struct FrameCase {
  int frameWidth;
  int frameHeight;
  int framePixels;
};

class FrameRegionTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameRegionTest, FramesInsideTheRegion) {
  const FrameCase& c = GetParam();
  QImage image = Canvas(12, 12, Qt::white);
  {
    QPainter painter(&image);
    EXPECT_EQ(
        FrameRegionColor(&painter, QRegion(1, 1, 10, 8), Qt::red, c.frameWidth, c.frameHeight), 0);
  }
  EXPECT_EQ(testing::CountPixels(image, Qt::red), c.framePixels);
  EXPECT_EQ(PixelAt(image, 1, 1), QColor(Qt::red));
  EXPECT_EQ(PixelAt(image, 10, 8), QColor(Qt::red));
  EXPECT_EQ(PixelAt(image, 5, 5), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 0, 0), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 11, 9), QColor(Qt::white));
}

// A 10 x 8 region: the inside left is (10 - 2w) x (8 - 2h).
INSTANTIATE_TEST_SUITE_P(Cases, FrameRegionTest,
                         ::testing::Values(FrameCase{1, 1, 80 - 8 * 6}, FrameCase{2, 1, 80 - 6 * 6},
                                           FrameCase{1, 2, 80 - 8 * 4}));

}  // namespace
}  // namespace corvel
