#include "ui/skin/skin_dialog.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "ui/skin/skin_button.h"
#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_static.h"
#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::InkColumns;
using testing::PixelAt;

const QColor kBackground(239, 239, 247);
const QColor kTitleLine(198, 206, 206);

// Each piece of the frame image that the dialog uses, in its own colour.
struct Slice {
  QRect source;
  QColor color;
};
const Slice kLeftEdge{{0, 250, 12, 40}, QColor(200, 0, 0)};
const Slice kRightEdge{{270, 246, 12, 40}, QColor(0, 200, 0)};
const Slice kTopEdge{{40, 0, 40, 12}, QColor(0, 0, 200)};
const Slice kTopLeft{{0, 0, 40, 30}, QColor(200, 200, 0)};
const Slice kTopRight{{270, 0, 12, 30}, QColor(0, 200, 200)};
const Slice kBottomEdge{{40, 568, 40, 12}, QColor(200, 0, 200)};
const Slice kBottomLeft{{0, 568, 40, 12}, QColor(100, 50, 0)};
const Slice kBottomRight{{270, 568, 12, 12}, QColor(0, 50, 100)};

QPixmap SyntheticFrame() {
  QPixmap frame(283, 580);
  frame.fill(Qt::gray);
  QPainter painter(&frame);
  for (const Slice& slice : {kLeftEdge, kRightEdge, kTopEdge, kTopLeft, kTopRight, kBottomEdge,
                             kBottomLeft, kBottomRight}) {
    painter.fillRect(slice.source, slice.color);
  }
  return frame;
}

class SkinDialogTest : public testing::SkinImageTest {
 protected:
  void SetUp() override {
    UseImage(130, SyntheticFrame());
    UseImage(133, testing::StackedPixmap(15, 15, {Qt::red, Qt::green, Qt::blue}));
  }
};

TEST_F(SkinDialogTest, IsAFramelessDialogWithACloseButton) {
  SkinDialog dialog;
  EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(dialog.dragEnabled());
  SkinButton* close = dialog.closeButton();
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(FindControl(&dialog, SkinDialog::kCloseButtonId), close);
  EXPECT_EQ(PixelAt(close->normalImage().toImage(), 7, 7), QColor(Qt::red));
  EXPECT_EQ(PixelAt(close->hoverImage().toImage(), 7, 7), QColor(Qt::green));
  EXPECT_EQ(PixelAt(close->pressedImage().toImage(), 7, 7), QColor(Qt::blue));
}

TEST_F(SkinDialogTest, ResizingRoundsTheCornersAndMovesTheCloseButton) {
  SkinDialog dialog;
  dialog.resize(200, 100);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QRegion mask = dialog.mask();
  EXPECT_FALSE(mask.contains(QPoint(0, 0)));
  EXPECT_FALSE(mask.contains(QPoint(199, 0)));
  EXPECT_FALSE(mask.contains(QPoint(0, 99)));
  EXPECT_FALSE(mask.contains(QPoint(199, 99)));
  EXPECT_TRUE(mask.contains(QPoint(7, 7)));
  EXPECT_TRUE(mask.contains(QPoint(100, 50)));
  EXPECT_TRUE(mask.contains(QPoint(100, 0)));
  EXPECT_TRUE(mask.contains(QPoint(0, 50)));
  EXPECT_EQ(dialog.closeButton()->geometry(), QRect(170, 13, 15, 15));

  dialog.resize(300, 150);
  EXPECT_TRUE(dialog.mask().contains(QPoint(299, 75)));
  EXPECT_FALSE(dialog.mask().contains(QPoint(299, 149)));
  EXPECT_EQ(dialog.closeButton()->geometry(), QRect(270, 13, 15, 15));
}

struct FramePixel {
  QPoint at;
  QColor color;
};

class DialogFrameTest : public SkinDialogTest, public ::testing::WithParamInterface<FramePixel> {};

// A 200 x 100 dialog: edges 12 pixels, top corners 40 x 30 and 12 x 30, bottom ones 40 x 12
// and 12 x 12; corners are drawn after the edges.
TEST_P(DialogFrameTest, EachSliceLandsInItsPlace) {
  SkinDialog dialog;
  dialog.resize(200, 100);
  EXPECT_EQ(PixelAt(dialog.Render(), GetParam().at.x(), GetParam().at.y()), GetParam().color);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, DialogFrameTest,
    ::testing::Values(
        FramePixel{{5, 50}, kLeftEdge.color}, FramePixel{{11, 30}, kLeftEdge.color},
        FramePixel{{11, 87}, kLeftEdge.color}, FramePixel{{195, 50}, kRightEdge.color},
        FramePixel{{188, 87}, kRightEdge.color}, FramePixel{{100, 5}, kTopEdge.color},
        FramePixel{{40, 11}, kTopEdge.color}, FramePixel{{187, 0}, kTopEdge.color},
        FramePixel{{20, 20}, kTopLeft.color}, FramePixel{{5, 5}, kTopLeft.color},
        FramePixel{{39, 29}, kTopLeft.color}, FramePixel{{195, 20}, kTopRight.color},
        FramePixel{{188, 29}, kTopRight.color}, FramePixel{{100, 95}, kBottomEdge.color},
        FramePixel{{40, 88}, kBottomEdge.color}, FramePixel{{20, 95}, kBottomLeft.color},
        FramePixel{{5, 88}, kBottomLeft.color}, FramePixel{{195, 95}, kBottomRight.color},
        FramePixel{{188, 88}, kBottomRight.color},
        // Inside: the background and the line under the title.
        FramePixel{{100, 50}, kBackground}, FramePixel{{12, 40}, kBackground},
        FramePixel{{100, 32}, kTitleLine}, FramePixel{{40, 32}, kTitleLine},
        FramePixel{{187, 32}, kTitleLine}, FramePixel{{100, 31}, kBackground},
        FramePixel{{100, 33}, kBackground}));

TEST_F(SkinDialogTest, WithoutTheFrameImageOnlyBackgroundLineAndTitleAreDrawn) {
  MissingImage(130);
  SkinDialog dialog;
  dialog.resize(200, 100);
  const QImage image = dialog.Render();
  EXPECT_EQ(PixelAt(image, 5, 50), kBackground);
  EXPECT_EQ(PixelAt(image, 0, 0), kBackground);
  EXPECT_EQ(PixelAt(image, 10, 32), kTitleLine);
  EXPECT_EQ(PixelAt(image, 189, 32), kTitleLine);
  EXPECT_EQ(PixelAt(image, 9, 32), kBackground);
  EXPECT_EQ(PixelAt(image, 190, 32), kBackground);  // the line leaves out its end point
}

TEST_F(SkinDialogTest, TheTitleStaysInItsRectangle) {
  MissingImage(130);
  SkinDialog dialog;
  dialog.resize(200, 100);
  EXPECT_TRUE(InkColumns(dialog.Render(), QRect(0, 0, 200, 32), kBackground).empty());
  dialog.setWindowTitle(QStringLiteral("A title far too long for this small dialog"));
  const QImage image = dialog.Render();
  const auto ink = InkColumns(image, QRect(0, 0, 200, 32), kBackground);
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.first, 20);
  EXPECT_LT(ink.last, 150);
  EXPECT_TRUE(InkColumns(image, QRect(0, 0, 200, 10), kBackground).empty());
}

TEST_F(SkinDialogTest, TheCloseButtonClosesTheDialog) {
  SkinDialog dialog;
  dialog.resize(200, 100);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QSignalSpy rejected(&dialog, &QDialog::rejected);
  QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
  QTest::qWait(10);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(rejected.count(), 1);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// Presses and moves as the window system would report them, with global positions.
void SendMouse(QWidget* target, QEvent::Type type, QPoint local, QPoint global,
               Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(local), QPointF(global), button, held, Qt::NoModifier);
  QApplication::sendEvent(target, &event);
}

struct DragCase {
  bool dragEnabled;
  Qt::MouseButton button;
  bool moves;
};

class DialogDragTest : public SkinDialogTest, public ::testing::WithParamInterface<DragCase> {};

// The offscreen platform has no system move, so this exercises the move by hand.
TEST_P(DialogDragTest, APressOnTheSurfaceDragsTheWindow) {
  SkinDialog dialog;
  dialog.setDragEnabled(GetParam().dragEnabled);
  dialog.setGeometry(100, 100, 200, 100);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QPoint start = dialog.pos();
  const QPoint grab(60, 60);
  const QPoint global = start + grab;
  const Qt::MouseButton button = GetParam().button;
  SendMouse(&dialog, QEvent::MouseButtonPress, grab, global, button, button);
  SendMouse(&dialog, QEvent::MouseMove, grab + QPoint(30, 20), global + QPoint(30, 20),
            Qt::NoButton, button);
  SendMouse(&dialog, QEvent::MouseButtonRelease, grab + QPoint(30, 20), global + QPoint(30, 20),
            button, Qt::NoButton);
  EXPECT_EQ(dialog.pos(), GetParam().moves ? start + QPoint(30, 20) : start);
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogDragTest,
                         ::testing::Values(DragCase{true, Qt::LeftButton, true},
                                           DragCase{false, Qt::LeftButton, false},
                                           DragCase{true, Qt::RightButton, false}));

TEST_F(SkinDialogTest, ALabelPassesThePressOnToTheDialog) {
  SkinDialog dialog;
  dialog.setGeometry(100, 100, 200, 100);
  auto* label = new SkinStatic(QStringLiteral("Account"), &dialog);
  label->setGeometry(20, 40, 80, 20);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  const QPoint start = dialog.pos();
  const QPoint grab(10, 10);
  const QPoint global = label->mapToGlobal(grab);
  SendMouse(label, QEvent::MouseButtonPress, grab, global, Qt::LeftButton, Qt::LeftButton);
  SendMouse(&dialog, QEvent::MouseMove, label->mapTo(&dialog, grab) + QPoint(5, 5),
            global + QPoint(5, 5), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(dialog.pos(), start + QPoint(5, 5));
}

}  // namespace
}  // namespace corvel
