// The caret stops blinking once nobody has typed or clicked for a while, and blinks again at the
// next key or click.
#include "ui/caret_rest.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLineEdit>
#include <QStyleHints>
#include <QTest>
#include <memory>

#include "support/qt_pump.h"

namespace corvel {
namespace {

using testing::PumpUntil;

int FlashTime() {
  return QGuiApplication::styleHints()->cursorFlashTime();
}

TEST(CaretRest, RestsAfterAPauseAndBlinksAgainAtTheNextInput) {
  const int desktop = FlashTime();
  ASSERT_GT(desktop, 0);
  QLineEdit box;
  box.show();
  box.setFocus();
  {
    CaretRest rest(nullptr, 200);
    EXPECT_FALSE(rest.resting());
    ASSERT_TRUE(PumpUntil([&] { return rest.resting(); }, 3000));
    EXPECT_EQ(FlashTime(), 0) << "a steady caret";

    QTest::keyClick(&box, Qt::Key_5);
    EXPECT_FALSE(rest.resting());
    EXPECT_EQ(FlashTime(), desktop);
    EXPECT_EQ(box.text(), "5") << "the key still reaches the box";
    ASSERT_TRUE(PumpUntil([&] { return rest.resting(); }, 3000));

    QTest::mouseClick(&box, Qt::LeftButton);
    EXPECT_FALSE(rest.resting());
    EXPECT_EQ(FlashTime(), desktop);
    ASSERT_TRUE(PumpUntil([&] { return rest.resting(); }, 3000));
  }
  EXPECT_EQ(FlashTime(), desktop) << "ending the watch leaves the desktop's blinking";
}

}  // namespace
}  // namespace corvel
