#include "ui/skin/skin_progress.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::PixelAt;

const QColor kBackground(239, 239, 247);
const QColor kBar(0, 0, 255);
const QColor kBorder(198, 206, 206);

struct LevelCase {
  int minimum;
  int maximum;
  int value;
  int barEnd;  // first column not covered by the bar
};

class SkinProgressTest : public ::testing::TestWithParam<LevelCase> {};

TEST_P(SkinProgressTest, FillsFromTheLeftInsideTheBorder) {
  const LevelCase& c = GetParam();
  SkinProgress meter;
  meter.resize(100, 10);
  meter.setRange(c.minimum, c.maximum);
  meter.setValue(c.value);
  EXPECT_EQ(meter.barEnd(), c.barEnd);
  const QImage image = meter.Render();
  for (int x : {0, 99}) {
    EXPECT_EQ(PixelAt(image, x, 5), kBorder) << x;
  }
  for (int y : {0, 9}) {
    EXPECT_EQ(PixelAt(image, 50, y), kBorder) << y;
  }
  if (c.barEnd > 1) {
    EXPECT_EQ(PixelAt(image, std::min(c.barEnd - 1, 98), 5), kBar);
  }
  if (c.barEnd < 99) {
    EXPECT_EQ(PixelAt(image, std::max(c.barEnd, 1), 5), kBackground);
  }
  if (c.barEnd > 1) {
    EXPECT_EQ(PixelAt(image, 1, 1), kBar);
  }
}

// The bar ends at width * value / (maximum - minimum).
INSTANTIATE_TEST_SUITE_P(Cases, SkinProgressTest,
                         ::testing::Values(LevelCase{0, 100, 50, 50}, LevelCase{0, 100, 0, 0},
                                           LevelCase{0, 100, 100, 100},
                                           LevelCase{0, 32767, 16384, 50},
                                           LevelCase{0, 32767, 32767, 100},
                                           LevelCase{0, 32767, 3276, 9}, LevelCase{0, 200, 33, 16},
                                           LevelCase{50, 150, 100, 100}));

TEST(SkinProgress, AnEmptyRangeShowsNoBar) {
  SkinProgress meter;
  meter.resize(100, 10);
  meter.setRange(5, 5);
  meter.setValue(5);
  EXPECT_EQ(meter.barEnd(), 0);
  EXPECT_EQ(PixelAt(meter.Render(), 1, 5), kBackground);
}

TEST(SkinProgress, TheBorderFollowsTheMask) {
  SkinProgress meter;
  meter.resize(100, 10);
  meter.setMask(QRegion(0, 0, 50, 10));
  meter.setRange(0, 100);
  meter.setValue(100);
  const QImage image = meter.Render();
  EXPECT_EQ(PixelAt(image, 49, 5), kBorder);
  EXPECT_EQ(PixelAt(image, 48, 5), kBar);
  EXPECT_EQ(image.pixelColor(60, 5).alpha(), 0);
}

}  // namespace
}  // namespace corvel
