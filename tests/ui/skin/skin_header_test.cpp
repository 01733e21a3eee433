#include "ui/skin/skin_header.h"

#include <gtest/gtest.h>

#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::InkColumns;
using testing::PixelAt;

const QColor kBackground(209, 209, 255);
const QColor kDivider(192, 192, 192);

class SkinHeaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model_.setHorizontalHeaderLabels({QStringLiteral("Name"),
                                      QStringLiteral("A title much too long to fit"),
                                      QStringLiteral("Time")});
    header_ = new SkinHeader(Qt::Horizontal, &table_);
    table_.setHorizontalHeader(header_);
    table_.setModel(&model_);
    table_.resize(400, 200);
    for (int column = 0; column < 3; ++column)
      header_->resizeSection(column, 60);
    table_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&table_));
  }

  QStandardItemModel model_{2, 3};
  QTableView table_;
  SkinHeader* header_ = nullptr;
};

TEST_F(SkinHeaderTest, FillsTheStripAndDrawsALineDownEachSectionsRightEdge) {
  const QImage image = header_->Render();
  const int bottom = image.height() - 1;
  for (int edge : {59, 119, 179}) {
    SCOPED_TRACE(edge);
    EXPECT_EQ(PixelAt(image, edge, 0), kDivider);
    EXPECT_EQ(PixelAt(image, edge, bottom), kDivider);
    EXPECT_EQ(PixelAt(image, edge - 1, 1), kBackground);
    EXPECT_EQ(PixelAt(image, edge + 1, 1), kBackground);
  }
  EXPECT_EQ(PixelAt(image, 300, 2), kBackground);
}

TEST_F(SkinHeaderTest, TitlesAreCentredAndCutToTheirSection) {
  const QImage image = header_->Render();
  const int height = image.height();
  const auto name = InkColumns(image, QRect(0, 0, 59, height), kBackground);
  ASSERT_FALSE(name.empty());
  EXPECT_NEAR(name.first, 59 - name.last, 2);
  const auto cut = InkColumns(image, QRect(60, 0, 59, height), kBackground);
  ASSERT_FALSE(cut.empty());
  EXPECT_GE(cut.first, 60);
  EXPECT_LE(cut.last, 118);
}

TEST_F(SkinHeaderTest, FollowsMovedAndHiddenSections) {
  header_->moveSection(2, 0);  // "Time" first
  header_->hideSection(1);
  const QImage image = header_->Render();
  EXPECT_EQ(PixelAt(image, 59, 1), kDivider);
  EXPECT_EQ(PixelAt(image, 119, 1), kDivider);
  EXPECT_EQ(PixelAt(image, 179, 1), kBackground);
}

}  // namespace
}  // namespace corvel
