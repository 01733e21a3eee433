#include "ui/skin/skin_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <map>
#include <memory>
#include <set>
#include <vector>

#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using testing::CountPixels;
using testing::InkColumns;
using testing::PixelAt;

const QColor kFace(192, 192, 192);
const QColor kHighlight(0, 0, 255);

// A shown, active top-level window with buttons in it, so the mouse and focus behave as on a
// desktop.
class ButtonWindowTest : public testing::SkinImageTest {
 protected:
  void SetUp() override {
    window_ = std::make_unique<QWidget>();
    window_->resize(320, 200);
  }
  void TearDown() override {
    window_.reset();
    SkinImageTest::TearDown();
  }

  SkinButton* AddButton(const QRect& geometry, const QString& caption = QString()) {
    auto* button = new SkinButton(window_.get());
    button->setGeometry(geometry);
    button->setText(caption);
    return button;
  }

  void Show() {
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
  }

  // From a point off the button first: a move to where the pointer already is reports nothing.
  void Hover(SkinButton* button) {
    QTest::mouseMove(window_.get(), QPoint(1, 1));
    QTest::mouseMove(button, button->rect().center());
  }
  void MoveAway() { QTest::mouseMove(window_.get(), QPoint(315, 195)); }

  std::unique_ptr<QWidget> window_;
};

TEST_F(ButtonWindowTest, WithoutImagesShowsTheFaceColourAndABlackCaption) {
  SkinButton* button = AddButton(QRect(10, 10, 80, 24), QStringLiteral("OK"));
  const QImage image = button->Render();
  EXPECT_EQ(PixelAt(image, 0, 0), kFace);
  EXPECT_EQ(PixelAt(image, 79, 23), kFace);
  EXPECT_TRUE(testing::HasPixelNear(image, Qt::black, 16));
  // Anti-aliased caption pixels lie between black and the face: always grey.
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor pixel = PixelAt(image, x, y);
      ASSERT_TRUE(pixel.red() == pixel.green() && pixel.green() == pixel.blue()) << x << "," << y;
    }
  }
}

struct HoverCase {
  ButtonKind kind;
  bool captionLightsUp;
};

class ButtonHoverTest : public ButtonWindowTest, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(ButtonHoverTest, OnlyTextHighlightChangesItsLookOnHover) {
  SkinButton* button = AddButton(QRect(10, 10, 80, 24), QStringLiteral("Apply"));
  button->setKind(GetParam().kind);
  Show();
  const QImage before = button->Render();
  Hover(button);
  ASSERT_EQ(button->state(), ButtonState::kHover);
  const QImage hovered = button->Render();
  if (GetParam().captionLightsUp) {
    EXPECT_TRUE(testing::HasPixelNear(before, Qt::black, 16));
    EXPECT_TRUE(testing::HasPixelNear(hovered, kHighlight, 16));
    // Every caption pixel now lies between the face and the highlight: red and green equal,
    // blue at least as strong.
    for (int y = 0; y < hovered.height(); ++y) {
      for (int x = 0; x < hovered.width(); ++x) {
        const QColor pixel = PixelAt(hovered, x, y);
        ASSERT_EQ(pixel.red(), pixel.green()) << x << "," << y;
        ASSERT_GE(pixel.blue(), pixel.red()) << x << "," << y;
      }
    }
  } else {
    EXPECT_EQ(hovered, before);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ButtonHoverTest,
                         ::testing::Values(HoverCase{ButtonKind::kPlain, false},
                                           HoverCase{ButtonKind::kSelected, false},
                                           HoverCase{ButtonKind::kCheckBox, false},
                                           HoverCase{ButtonKind::kTextHighlight, true}));

TEST_F(ButtonWindowTest, SelectedBlendsFiftyOf256OfTheHighlightOverTheFace) {
  SkinButton* button = AddButton(QRect(0, 0, 40, 20));
  button->setKind(ButtonKind::kSelected);
  const QImage image = button->Render();
  // (0*50 + 192*206) >> 8 = 154 and (255*50 + 192*206) >> 8 = 204.
  EXPECT_EQ(PixelAt(image, 0, 0), QColor(154, 154, 204));
  EXPECT_EQ(PixelAt(image, 39, 19), QColor(154, 154, 204));
}

TEST_F(ButtonWindowTest, SelectedBlendsOverTheNormalImage) {
  SkinButton* button = AddButton(QRect(0, 0, 40, 20));
  button->SetImageSet(testing::SolidPixmap(40, 20, QColor(100, 0, 0)), QPixmap(), QPixmap());
  button->setKind(ButtonKind::kSelected);
  // (100*206) >> 8 = 80; (255*50) >> 8 = 49.
  EXPECT_EQ(PixelAt(button->Render(), 5, 5), QColor(80, 0, 49));
}

struct CheckPixel {
  QPoint at;
  QColor checked;
  QColor unchecked;
};

// A 100 x 24 check box: the box runs from (81, 3) to (97, 18). Frame in black; the checked mark
// is a fill of alpha 100 over (83,5)-(96,17), alpha 200 over (85,7)-(94,15) and solid highlight
// over (87,9)-(92,13).
const QColor kAlpha100(117, 117, 216);  // (192*156) >> 8, (255*100 + 192*156) >> 8
const QColor kAlpha200(25, 25, 246);    // (117*56) >> 8, (255*200 + 216*56) >> 8

class CheckBoxTest : public ButtonWindowTest, public ::testing::WithParamInterface<CheckPixel> {};

TEST_P(CheckBoxTest, DrawsTheBoxAndTheNestedMark) {
  SkinButton* button = AddButton(QRect(0, 0, 100, 24));
  button->setKind(ButtonKind::kCheckBox);
  EXPECT_EQ(PixelAt(button->Render(), GetParam().at.x(), GetParam().at.y()), GetParam().unchecked);
  button->setBoxChecked(true);
  EXPECT_EQ(PixelAt(button->Render(), GetParam().at.x(), GetParam().at.y()), GetParam().checked);
}

INSTANTIATE_TEST_SUITE_P(
    Pixels, CheckBoxTest,
    ::testing::Values(CheckPixel{{81, 3}, Qt::black, Qt::black},   // top-left of the frame
                      CheckPixel{{96, 3}, Qt::black, Qt::black},   // top side
                      CheckPixel{{81, 17}, Qt::black, Qt::black},  // left side
                      CheckPixel{{90, 18}, Qt::black, Qt::black},  // bottom side
                      CheckPixel{{97, 10}, Qt::black, Qt::black},  // right side
                      CheckPixel{{97, 18}, kFace, kFace},          // end point of two sides
                      CheckPixel{{80, 10}, kFace, kFace},          // outside
                      CheckPixel{{82, 4}, kFace, kFace},           // gap inside the frame
                      CheckPixel{{96, 16}, kFace, kFace},          // gap on the right
                      CheckPixel{{83, 5}, kAlpha100, kFace},       // outer fill
                      CheckPixel{{95, 16}, kAlpha100, kFace},
                      CheckPixel{{85, 7}, kAlpha200, kFace},  // middle fill
                      CheckPixel{{93, 14}, kAlpha200, kFace},
                      CheckPixel{{87, 9}, kHighlight, kFace},  // solid centre
                      CheckPixel{{91, 12}, kHighlight, kFace},
                      CheckPixel{{92, 12}, kAlpha200, kFace}));

TEST_F(ButtonWindowTest, CaptionPlacementDependsOnIdAndKind) {
  const QString caption = QStringLiteral("Call");
  SkinButton* plain = AddButton(QRect(0, 0, 100, 24), caption);
  SkinButton* call = AddButton(QRect(0, 30, 100, 24), caption);
  call->setControlId(1026);
  SkinButton* hangUp = AddButton(QRect(0, 60, 100, 24), caption);
  hangUp->setControlId(1027);
  SkinButton* check = AddButton(QRect(0, 90, 100, 24), caption);
  check->setKind(ButtonKind::kCheckBox);

  const QRect area(0, 0, 75, 24);  // left of the check box
  const auto plainInk = InkColumns(plain->Render(), area, kFace);
  ASSERT_FALSE(plainInk.empty());
  EXPECT_NEAR(plainInk.first, 100 - 1 - plainInk.last, 2);  // centred
  EXPECT_EQ(InkColumns(call->Render(), area, kFace).first, plainInk.first + 10);
  EXPECT_EQ(InkColumns(hangUp->Render(), area, kFace).first, plainInk.first + 10);
  const auto checkInk = InkColumns(check->Render(), area, kFace);
  ASSERT_FALSE(checkInk.empty());
  EXPECT_LE(checkInk.first, 2);
}

TEST_F(ButtonWindowTest, LongCaptionsEndInAnEllipsisInsideTheButton) {
  SkinButton* button = AddButton(QRect(0, 0, 40, 20), QStringLiteral("A very long caption here"));
  const auto ink = InkColumns(button->Render(), QRect(0, 0, 40, 20), kFace);
  ASSERT_FALSE(ink.empty());
  EXPECT_GE(ink.first, 0);
  EXPECT_LE(ink.last, 39);
}

TEST_F(ButtonWindowTest, HoveringTakesTheFocusAndLeavingLeavesNoFocus) {
  auto* edit = new SkinEdit(window_.get());
  edit->setGeometry(10, 100, 100, 24);
  SkinButton* button = AddButton(QRect(10, 10, 80, 24), QStringLiteral("OK"));
  Show();
  edit->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), edit);

  Hover(button);
  EXPECT_EQ(QApplication::focusWidget(), button);
  MoveAway();
  EXPECT_EQ(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(ButtonWindowTest, MouseMovesBetweenTheThreeStates) {
  SkinButton* button = AddButton(QRect(10, 10, 80, 24), QStringLiteral("OK"));
  Show();
  const QPoint centre = button->rect().center();
  QSignalSpy clicks(button, &QAbstractButton::clicked);
  ASSERT_EQ(button->state(), ButtonState::kNormal);

  Hover(button);
  EXPECT_EQ(button->state(), ButtonState::kHover);
  QTest::mousePress(button, Qt::LeftButton, {}, centre);
  EXPECT_EQ(button->state(), ButtonState::kPressed);
  QTest::mouseRelease(button, Qt::LeftButton, {}, centre);
  EXPECT_EQ(button->state(), ButtonState::kHover);
  EXPECT_EQ(clicks.count(), 1);
  MoveAway();
  EXPECT_EQ(button->state(), ButtonState::kNormal);

  // A move with the left button held, as when a press starts elsewhere and slides over.
  QMouseEvent dragOver(QEvent::MouseMove, QPointF(centre), button->mapToGlobal(QPointF(centre)),
                       Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(button, &dragOver);
  EXPECT_EQ(button->state(), ButtonState::kPressed);
}

TEST_F(ButtonWindowTest, TheRightButtonDoesNotPress) {
  SkinButton* button = AddButton(QRect(10, 10, 80, 24));
  Show();
  Hover(button);
  QTest::mousePress(button, Qt::RightButton, {}, button->rect().center());
  EXPECT_EQ(button->state(), ButtonState::kHover);
  QTest::mouseRelease(button, Qt::RightButton, {}, button->rect().center());
}

class ButtonImageTest : public ButtonWindowTest {
 protected:
  void SetUp() override {
    ButtonWindowTest::SetUp();
    UseImage(501, testing::StackedPixmap(30, 10, {Qt::red, Qt::green, Qt::blue}));
    UseImage(502, testing::StackedPixmap(30, 10, {Qt::yellow, Qt::cyan, Qt::magenta}));
  }
};

TEST_F(ButtonImageTest, SettingImagesTwiceKeepsTheLastThree) {
  SkinButton* button = AddButton(QRect(10, 10, 60, 20));
  EXPECT_EQ(button->SetImagesFromResource(501, 30, 10, true), 1);
  EXPECT_EQ(button->SetImagesFromResource(502, 30, 10, true), 1);
  EXPECT_EQ(button->normalImage().toImage(), testing::SolidPixmap(30, 10, Qt::yellow).toImage());
  EXPECT_EQ(button->hoverImage().toImage(), testing::SolidPixmap(30, 10, Qt::cyan).toImage());
  EXPECT_EQ(button->pressedImage().toImage(), testing::SolidPixmap(30, 10, Qt::magenta).toImage());
  // The piece is stretched over the whole button.
  const QImage shown = button->Render();
  EXPECT_EQ(PixelAt(shown, 0, 0), QColor(Qt::yellow));
  EXPECT_EQ(PixelAt(shown, 59, 19), QColor(Qt::yellow));
}

TEST_F(ButtonImageTest, EachStateShowsItsImage) {
  SkinButton* button = AddButton(QRect(10, 10, 60, 20));
  button->SetImagesFromResource(501, 30, 10, true);
  Show();
  EXPECT_EQ(PixelAt(button->Render(), 30, 10), QColor(Qt::red));
  Hover(button);
  EXPECT_EQ(PixelAt(button->Render(), 30, 10), QColor(Qt::green));
  QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
  EXPECT_EQ(PixelAt(button->Render(), 30, 10), QColor(Qt::blue));
  QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
}

TEST_F(ButtonImageTest, PiecesCanLieSideBySide) {
  QPixmap row(90, 10);
  {
    QPainter painter(&row);
    painter.fillRect(0, 0, 30, 10, Qt::red);
    painter.fillRect(30, 0, 30, 10, Qt::green);
    painter.fillRect(60, 0, 30, 10, Qt::blue);
  }
  UseImage(503, row);
  SkinButton* button = AddButton(QRect(10, 10, 30, 10));
  EXPECT_EQ(button->SetImagesFromResource(503, 30, 10, false), 1);
  EXPECT_EQ(PixelAt(button->normalImage().toImage(), 15, 5), QColor(Qt::red));
  EXPECT_EQ(PixelAt(button->hoverImage().toImage(), 15, 5), QColor(Qt::green));
  EXPECT_EQ(PixelAt(button->pressedImage().toImage(), 15, 5), QColor(Qt::blue));
}

TEST_F(ButtonImageTest, AMissingImageLeavesTheButtonAsItWas) {
  MissingImage(504);
  SkinButton* button = AddButton(QRect(10, 10, 60, 20));
  button->SetImagesFromResource(501, 30, 10, true);
  EXPECT_EQ(button->SetImagesFromResource(504, 30, 10, true), 0);
  EXPECT_EQ(PixelAt(button->normalImage().toImage(), 0, 0), QColor(Qt::red));

  SkinButton* bare = AddButton(QRect(10, 40, 60, 20));
  EXPECT_EQ(bare->SetImagesFromResource(504, 30, 10, true), 0);
  EXPECT_TRUE(bare->normalImage().isNull());
  EXPECT_EQ(PixelAt(bare->Render(), 5, 5), kFace);
}

TEST_F(ButtonImageTest, SkinsAreCutAtTheButtonsPlaceInItsTopLevelWindow) {
  auto* panel = new QWidget(window_.get());
  panel->setGeometry(20, 30, 200, 100);
  auto* button = new SkinButton(panel);
  button->setGeometry(5, 7, 12, 6);
  const QPixmap normal = testing::CoordinatePixmap(283, 580);
  const QPixmap pressed = testing::SolidPixmap(283, 580, Qt::blue);
  const QPixmap hover = testing::SolidPixmap(283, 580, Qt::green);
  EXPECT_EQ(button->SetImagesFromSkins(normal, pressed, hover), 1);
  ASSERT_EQ(button->normalImage().size(), QSize(12, 6));
  const QImage piece = button->normalImage().toImage();
  EXPECT_EQ(PixelAt(piece, 0, 0), testing::CoordinateColor(25, 37));
  EXPECT_EQ(PixelAt(piece, 11, 5), testing::CoordinateColor(36, 42));
  EXPECT_EQ(PixelAt(button->pressedImage().toImage(), 0, 0), QColor(Qt::blue));
  EXPECT_EQ(PixelAt(button->hoverImage().toImage(), 0, 0), QColor(Qt::green));

  // A missing skin leaves that state without an image.
  EXPECT_EQ(button->SetImagesFromSkins(normal, QPixmap(), hover), 1);
  EXPECT_TRUE(button->pressedImage().isNull());
}

// Counts paint events per watched widget.
class PaintCounter : public QObject {
 public:
  using QObject::QObject;
  int count(const QObject* widget) const {
    const auto found = counts_.find(widget);
    return found == counts_.end() ? 0 : found->second;
  }
  void reset() { counts_.clear(); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++counts_[watched];
    return false;
  }

 private:
  std::map<const QObject*, int> counts_;
};

struct TabCase {
  int painted;
  std::set<int> selected;
  std::set<int> repainted;
};

class TabStripTest : public ButtonWindowTest, public ::testing::WithParamInterface<TabCase> {};

TEST_P(TabStripTest, TheSelectedTabIsDrawnAfterItsRightHandNeighbour) {
  std::map<int, SkinButton*> tabs;
  PaintCounter counter;
  for (int id = 1002; id <= 1005; ++id) {
    SkinButton* tab = AddButton(QRect(10 + (id - 1002) * 60, 10, 60, 24));
    tab->setControlId(id);
    tab->setKind(GetParam().selected.count(id) ? ButtonKind::kSelected : ButtonKind::kPlain);
    tab->installEventFilter(&counter);
    tabs[id] = tab;
  }
  Show();
  QTest::qWait(20);
  counter.reset();
  tabs[GetParam().painted]->repaint();
  QTest::qWait(50);
  std::set<int> repainted;
  for (const auto& [id, tab] : tabs) {
    if (id != GetParam().painted && counter.count(tab) > 0) repainted.insert(id);
  }
  EXPECT_EQ(repainted, GetParam().repainted);
}

INSTANTIATE_TEST_SUITE_P(Cases, TabStripTest,
                         ::testing::Values(TabCase{1005, {1004}, {1004}}, TabCase{1005, {1003}, {}},
                                           TabCase{1005, {1005}, {}}, TabCase{1004, {1003}, {1003}},
                                           TabCase{1004, {1004, 1003}, {}},
                                           TabCase{1004, {1002}, {}}, TabCase{1003, {1002}, {1002}},
                                           TabCase{1002, {1002}, {}}));

TEST_F(ButtonWindowTest, OverlappingTabsDoNotRepaintEachOtherForEver) {
  PaintCounter counter;
  SkinButton* left = AddButton(QRect(10, 10, 60, 24));
  left->setControlId(1004);
  left->setKind(ButtonKind::kSelected);
  SkinButton* right = AddButton(QRect(60, 10, 60, 24));  // overlaps the left tab by 10 pixels
  right->setControlId(1005);
  left->installEventFilter(&counter);
  right->installEventFilter(&counter);
  Show();
  QTest::qWait(20);
  counter.reset();
  right->repaint();
  QTest::qWait(200);
  EXPECT_GE(counter.count(left), 1);
  EXPECT_LE(counter.count(left), 3);
  EXPECT_LE(counter.count(right), 3);
}

}  // namespace
}  // namespace corvel
