#include "ui/skin/skin_combo.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::PixelAt;

class SkinComboTest : public testing::SkinImageTest {
 protected:
  void SetUp() override {
    UseImage(143, testing::StackedPixmap(22, 22, {Qt::red, Qt::green, Qt::blue}));
  }
};

TEST_F(SkinComboTest, DrawsWhiteBelowTheTopRowAndTheClosedArrow) {
  SkinCombo combo;
  combo.setEditable(true);
  combo.resize(150, 24);
  const QImage image = combo.Render();
  EXPECT_EQ(PixelAt(image, 10, 1), QColor(Qt::white));
  EXPECT_EQ(PixelAt(image, 127, 23), QColor(Qt::white));
  EXPECT_EQ(image.pixelColor(10, 0).alpha(), 0);  // the top row is left to what is behind
  EXPECT_EQ(PixelAt(image, 128, 0), QColor(Qt::red));
  EXPECT_EQ(PixelAt(image, 149, 23), QColor(Qt::red));
}

TEST_F(SkinComboTest, TheArrowShowsTheDroppedPieceWhileTheListIsOpen) {
  SkinCombo combo;
  combo.addItems({QStringLiteral("one"), QStringLiteral("two")});
  combo.resize(150, 30);
  combo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
  combo.showPopup();
  EXPECT_TRUE(combo.isDroppedDown());
  EXPECT_EQ(PixelAt(combo.Render(), 139, 15), QColor(Qt::green));
  combo.hidePopup();
  QTest::qWait(10);
  EXPECT_FALSE(combo.isDroppedDown());
  EXPECT_EQ(PixelAt(combo.Render(), 139, 15), QColor(Qt::red));
}

TEST_F(SkinComboTest, TheLineEditSitsLeftOfTheArrow) {
  SkinCombo combo;
  combo.setEditable(true);
  combo.resize(150, 24);
  combo.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&combo));
  ASSERT_NE(combo.lineEdit(), nullptr);
  EXPECT_LE(combo.lineEdit()->geometry().right(), 150 - SkinCombo::kArrowWidth - 1);
  EXPECT_GE(combo.lineEdit()->geometry().top(), 1);
}

TEST_F(SkinComboTest, ANonEditableComboDrawsItsCurrentItem) {
  SkinCombo combo;
  combo.resize(150, 24);
  const auto empty = testing::InkColumns(combo.Render(), QRect(0, 1, 128, 23), Qt::white);
  EXPECT_TRUE(empty.empty());
  combo.addItem(QStringLiteral("Beijing"));
  const auto ink = testing::InkColumns(combo.Render(), QRect(0, 1, 128, 23), Qt::white);
  ASSERT_FALSE(ink.empty());
  EXPECT_LT(ink.first, 10);
}

TEST_F(SkinComboTest, WithoutTheArrowImageOnlyTheWhiteIsDrawn) {
  MissingImage(143);
  SkinCombo combo;
  combo.setEditable(true);
  combo.resize(150, 24);
  EXPECT_EQ(PixelAt(combo.Render(), 140, 10), QColor(Qt::white));
}

}  // namespace
}  // namespace corvel
