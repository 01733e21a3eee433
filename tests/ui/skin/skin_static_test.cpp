#include "ui/skin/skin_static.h"

#include <gtest/gtest.h>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::InkColumns;
using testing::PixelAt;

const QColor kDefaultBackground(192, 192, 192);

struct AlignmentCase {
  int alignment;
  bool drawn;
  bool centred;
};

class SkinStaticAlignmentTest : public ::testing::TestWithParam<AlignmentCase> {};

TEST_P(SkinStaticAlignmentTest, PlacesTheTextByItsAlignment) {
  SkinStatic label(QStringLiteral("Password"));
  label.resize(160, 24);
  label.setAlignment(GetParam().alignment);
  const QImage image = label.Render();
  EXPECT_EQ(PixelAt(image, 0, 0), kDefaultBackground);
  const auto ink = InkColumns(image, QRect(0, 0, 160, 24), kDefaultBackground);
  if (!GetParam().drawn) {
    EXPECT_TRUE(ink.empty());
    return;
  }
  ASSERT_FALSE(ink.empty());
  if (GetParam().centred) {
    EXPECT_NEAR(ink.first, 159 - ink.last, 2);
  } else {
    EXPECT_LE(ink.first, 2);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SkinStaticAlignmentTest,
                         ::testing::Values(AlignmentCase{2, true, true},
                                           AlignmentCase{1, true, false},
                                           AlignmentCase{0, false, false},
                                           AlignmentCase{3, false, false},
                                           AlignmentCase{-1, false, false}));

TEST(SkinStatic, StartsCentredOnGreyAndTakesABackgroundColour) {
  SkinStatic label(QStringLiteral("Account"));
  EXPECT_EQ(label.alignment(), SkinStatic::kAlignCenter);
  label.resize(100, 20);
  label.setBackgroundColor(QColor(10, 20, 30));
  EXPECT_EQ(PixelAt(label.Render(), 0, 0), QColor(10, 20, 30));
  EXPECT_EQ(PixelAt(label.Render(), 99, 19), QColor(10, 20, 30));
}

TEST(SkinStatic, StaysOnOneLineCutWithAnEllipsis) {
  SkinStatic label(QStringLiteral("A label that is much longer than its place\nsecond line"));
  label.resize(60, 40);
  label.setAlignment(SkinStatic::kAlignLeft);
  const QImage image = label.Render();
  const auto ink = InkColumns(image, QRect(0, 0, 60, 40), kDefaultBackground);
  ASSERT_FALSE(ink.empty());
  EXPECT_LE(ink.last, 59);
  // One line, vertically centred: nothing in the top or bottom quarter.
  EXPECT_TRUE(InkColumns(image, QRect(0, 0, 60, 8), kDefaultBackground).empty());
  EXPECT_TRUE(InkColumns(image, QRect(0, 32, 60, 8), kDefaultBackground).empty());
}

TEST(SkinStatic, PaintsOnlyInsideItsMask) {
  SkinStatic label;
  label.resize(40, 20);
  label.setMask(QRegion(0, 0, 20, 20));
  const QImage image = label.Render();
  EXPECT_EQ(PixelAt(image, 5, 5), kDefaultBackground);
  EXPECT_EQ(image.pixelColor(30, 5).alpha(), 0);
}

}  // namespace
}  // namespace corvel
