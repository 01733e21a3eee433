#include "ui/skin/skin_edit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include "ui/skin/skin_button.h"
#include "ui/skin/skin_command_event.h"
#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

// An owner that records the commands its controls post to it.
class Owner : public QWidget {
 public:
  struct Command {
    int id;
    QWidget* control;
  };
  std::vector<Command> commands;

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() == SkinCommandEvent::eventType()) {
      const auto* command = static_cast<SkinCommandEvent*>(event);
      commands.push_back({command->command(), command->control()});
    }
  }
};

struct EnterCase {
  int editId;
  int key;
  bool startsCall;
};

class SkinEditEnterTest : public ::testing::TestWithParam<EnterCase> {};

TEST_P(SkinEditEnterTest, EnterIsConsumedAndOnlyTheNumberBoxStartsACall) {
  Owner owner;
  auto* callButton = new SkinButton(&owner);
  callButton->setControlId(1026);
  auto* edit = new SkinEdit(&owner);
  edit->setControlId(GetParam().editId);
  edit->setText(QStringLiteral("13800138000"));
  QSignalSpy calls(edit, &SkinEdit::callRequested);
  QSignalSpy returns(edit, &QLineEdit::returnPressed);

  QTest::keyClick(edit, static_cast<Qt::Key>(GetParam().key));
  QApplication::processEvents();

  EXPECT_EQ(returns.count(), 0);
  EXPECT_EQ(edit->text(), QStringLiteral("13800138000"));
  EXPECT_EQ(calls.count(), GetParam().startsCall ? 1 : 0);
  ASSERT_EQ(owner.commands.size(), GetParam().startsCall ? 1u : 0u);
  if (GetParam().startsCall) {
    EXPECT_EQ(owner.commands[0].id, 1026);
    EXPECT_EQ(owner.commands[0].control, callButton);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SkinEditEnterTest,
                         ::testing::Values(EnterCase{1013, Qt::Key_Return, true},
                                           EnterCase{1013, Qt::Key_Enter, true},
                                           EnterCase{1014, Qt::Key_Return, false},
                                           EnterCase{0, Qt::Key_Enter, false}));

TEST(SkinEdit, OtherKeysAreTyped) {
  SkinEdit edit;
  edit.setControlId(1013);
  QSignalSpy calls(&edit, &SkinEdit::callRequested);
  QTest::keyClicks(&edit, QStringLiteral("12#"));
  EXPECT_EQ(edit.text(), QStringLiteral("12#"));
  EXPECT_EQ(calls.count(), 0);
}

TEST(SkinEdit, ANumberBoxWithoutOwnerStillRequestsTheCall) {
  SkinEdit edit;
  edit.setControlId(1013);
  QSignalSpy calls(&edit, &SkinEdit::callRequested);
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_EQ(calls.count(), 1);
}

// The rows of the edit that hold text pixels: first and last.
std::pair<int, int> InkRows(SkinEdit& edit) {
  const QImage image = edit.grab().toImage();
  const QColor background = QColor(image.pixel(image.width() / 2, 3)).toRgb();
  int first = -1;
  int last = -1;
  for (int y = 3; y < image.height() - 3; ++y) {
    for (int x = 6; x < 60; ++x) {
      if (QColor(image.pixel(x, y)).toRgb() != background) {
        if (first < 0) first = y;
        last = y;
        break;
      }
    }
  }
  return {first, last};
}

TEST(SkinEdit, CenteringMovesTopAlignedTextToTheMiddle) {
  SkinEdit edit;
  edit.resize(120, 60);
  edit.setText(QStringLiteral("Hg"));
  edit.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  const auto [topFirst, topLast] = InkRows(edit);
  ASSERT_GE(topFirst, 0);
  ASSERT_LT(topLast, 30);

  EXPECT_EQ(edit.CenterTextVertically(false), 1);
  const auto [first, last] = InkRows(edit);
  ASSERT_GE(first, 0);
  EXPECT_NEAR((first + last) / 2.0, 30, 4);
  EXPECT_TRUE(edit.alignment() & Qt::AlignLeft);
}

TEST(SkinEdit, CenteringByTheFormattingAreaAveragesItsInsets) {
  SkinEdit edit;
  edit.resize(120, 60);
  edit.setText(QStringLiteral("Hg"));
  edit.setAlignment(Qt::AlignLeft | Qt::AlignTop);
  edit.setTextMargins(0, 20, 0, 0);
  const int before = InkRows(edit).first;
  EXPECT_EQ(edit.CenterTextVertically(true), 1);
  // The text area's top inset of 20 and bottom inset of 0 average to 10: the line moves up 10.
  EXPECT_EQ(InkRows(edit).first, before - 10);
}

}  // namespace
}  // namespace corvel
