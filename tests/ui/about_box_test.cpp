#include "ui/about_box.h"

#include <gtest/gtest.h>

#include <QFontMetrics>

#include "ui/skin/skin_font.h"

namespace corvel {
namespace {

// Whatever widths the desktop's fonts give, every line stays on one line inside the frame.
TEST(AboutBox, EveryLineFitsInsideTheFrame) {
  AboutBox box;
  constexpr int kFrame = 12;
  const QRect inside(kFrame, kFrame, box.width() - 2 * kFrame, box.height() - 2 * kFrame);
  const QFontMetrics big(SkinFont(12));
  const QFontMetrics small(SkinFont(10));
  EXPECT_TRUE(inside.contains(box.versionRect())) << box.width() << "x" << box.height();
  EXPECT_TRUE(inside.contains(box.textRect())) << box.width() << "x" << box.height();
  EXPECT_LE(big.horizontalAdvance(AboutBox::VersionLine()), box.versionRect().width());
  EXPECT_GE(box.versionRect().height(), big.height());
  const QStringList lines = AboutBox::TextLines();
  ASSERT_EQ(lines.size(), 3);
  for (const QString& line : lines) {
    EXPECT_LE(small.horizontalAdvance(line), box.textRect().width()) << line.toStdString();
  }
  EXPECT_GE(box.textRect().height(), small.lineSpacing() * lines.size());
  EXPECT_GT(box.textRect().top(), box.versionRect().bottom());
}

}  // namespace
}  // namespace corvel
