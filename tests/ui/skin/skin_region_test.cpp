#include "ui/skin/skin_region.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(RoundRectRegion, CornersAreCutSymmetrically) {
  const QRegion region = RoundRectRegion(200, 100, 15, 15);
  EXPECT_EQ(region.boundingRect(), QRect(0, 0, 200, 100));
  for (int y = 0; y < 100; ++y) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < 200; ++x) {
      if (region.contains(QPoint(x, y))) {
        if (first < 0) first = x;
        last = x;
      }
    }
    SCOPED_TRACE(y);
    ASSERT_GE(first, 0);
    EXPECT_EQ(first, 199 - last);  // left and right alike
    // Top and bottom alike, and only the rows beside a corner are cut.
    EXPECT_EQ(region.contains(QPoint(first, 99 - y)), true);
    EXPECT_EQ(region.contains(QPoint(first - 1, 99 - y)), false);
    if (y >= 8 && y < 92) {
      EXPECT_EQ(first, 0);
    }
  }
}

struct InsetCase {
  int row;
  int inset;
};

class RoundRectInsetTest : public ::testing::TestWithParam<InsetCase> {};

// A 15 x 15 corner: a pixel is inside when its centre is inside the ellipse of radius 7.5.
TEST_P(RoundRectInsetTest, FollowsTheCornerEllipse) {
  const QRegion region = RoundRectRegion(200, 100, 15, 15);
  const int inset = GetParam().inset;
  EXPECT_TRUE(region.contains(QPoint(inset, GetParam().row)));
  if (inset > 0) {
    EXPECT_FALSE(region.contains(QPoint(inset - 1, GetParam().row)));
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, RoundRectInsetTest,
                         ::testing::Values(InsetCase{0, 5}, InsetCase{1, 3}, InsetCase{2, 2},
                                           InsetCase{3, 1}, InsetCase{4, 1}, InsetCase{5, 0},
                                           InsetCase{7, 0}));

TEST(RoundRectRegion, SmallEllipsesGiveThePlainRectangleAndEmptySizesNothing) {
  EXPECT_EQ(RoundRectRegion(30, 20, 1, 15), QRegion(0, 0, 30, 20));
  EXPECT_EQ(RoundRectRegion(30, 20, 0, 0), QRegion(0, 0, 30, 20));
  EXPECT_TRUE(RoundRectRegion(0, 20, 15, 15).isEmpty());
  EXPECT_TRUE(RoundRectRegion(30, -1, 15, 15).isEmpty());
}

TEST(RoundRectRegion, AnEllipseLargerThanTheRectangleIsCutToIt) {
  const QRegion region = RoundRectRegion(10, 10, 40, 40);  // a circle of diameter 10
  EXPECT_TRUE(region.contains(QPoint(5, 0)));
  EXPECT_TRUE(region.contains(QPoint(5, 5)));
  EXPECT_FALSE(region.contains(QPoint(0, 0)));
  EXPECT_FALSE(region.contains(QPoint(9, 9)));
  EXPECT_TRUE(region.contains(QPoint(0, 5)));
}

}  // namespace
}  // namespace corvel
