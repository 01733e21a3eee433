#include "ui/soft_keyboard.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>
#include <tuple>

#include "app/client_state.h"
#include "support/qt_pump.h"
#include "support/temp_folder.h"
#include "ui/login_window.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_region.h"
#include "ui/skin/skin_test_support.h"

namespace corvel {
namespace {

using Kind = KeyButton::KeyKind;
using testing::PixelAt;

const QPoint kEmptySpot(5, 140);

using testing::Pump;

// The offset by which a row of n keys is rotated, or -1 when it is not a rotation of its table.
int RotationOf(const std::vector<KeyButton*>& row, int first, int n) {
  const int offset = row.front()->keyIndex() - first;
  for (int i = 0; i < static_cast<int>(row.size()); ++i) {
    if (row[static_cast<std::size_t>(i)]->keyIndex() != first + (offset + i) % n) return -1;
  }
  return offset;
}

class SoftKeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    state.programFolder.set(folder.path());
    state.configPath.set(folder / "CorvelConfig.ini");
    SetPromptHandler([this](QWidget*, const PromptRequest& request) {
      prompts.push_back(request.text);
      return std::uint8_t{0};
    });
    login = std::make_unique<LoginWindow>(state);
    login->Prepare();
    login->move(100, 200);
    login->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(login.get()));
  }
  void TearDown() override {
    // Run on X11, the state is the display's and outlives the test.
    if (SoftKeyboard* keyboard = login->softKeyboard()) {
      if (keyboard->keyboardState().capsLockOn()) keyboard->keyboardState().ToggleCapsLock();
    }
    login.reset();
    SetPromptHandler({});
  }

  // The login window's keyboard button, as a person clicks it.
  SoftKeyboard& ClickKeyboardButton() {
    QTest::mouseClick(FindControl(login.get(), LoginWindow::kKeyboardButtonId), Qt::LeftButton);
    EXPECT_NE(login->softKeyboard(), nullptr);
    return *login->softKeyboard();
  }
  SoftKeyboard& OpenKeyboard() {
    SoftKeyboard& keyboard = ClickKeyboardButton();
    EXPECT_TRUE(keyboard.isVisible());
    QTest::mouseMove(&keyboard, kEmptySpot);  // the pointer enters the keyboard where no key is
    return keyboard;
  }
  static void Click(SoftKeyboard& keyboard, int id) {
    QWidget* control = FindControl(&keyboard, id);
    ASSERT_NE(control, nullptr) << id;
    QTest::mouseMove(control);
    QTest::mouseClick(control, Qt::LeftButton);
  }
  // The key that holds entry index of table kind now.
  static KeyButton* KeyFor(const SoftKeyboard& keyboard, Kind kind, int index) {
    const auto& row = kind == Kind::kDigit    ? keyboard.digitKeys()
                      : kind == Kind::kSymbol ? keyboard.symbolKeys()
                                              : keyboard.letterKeys();
    for (KeyButton* key : row) {
      if (key->keyIndex() == index) return key;
    }
    return nullptr;
  }
  QString password() const { return login->passwordBox()->text(); }

  testing::TempFolder folder;
  ClientState state;
  std::unique_ptr<LoginWindow> login;
  QStringList prompts;
};

TEST_F(SoftKeyboardTest, EveryKeyAtItsPlaceWithItsIdKindAndIndex) {
  struct Place {
    int id;
    QRect rect;
    Kind kind;
    int index;
    QString caption;
  };
  std::vector<Place> places = {
      {1026, {355, 15, 58, 28}, Kind::kFunction, 0, "<--"},
      {1027, {10, 45, 43, 28}, Kind::kFunction, 0, "Shift"},
      {1028, {355, 45, 78, 28}, Kind::kFunction, 0, "Caps Lock"},
  };
  for (int i = 0; i < 11; ++i)
    places.push_back({1124 + i, {25 + 30 * i, 15, 28, 28}, Kind::kDigit, i, {}});
  for (int i = 0; i < 10; ++i)
    places.push_back({1224 + i, {55 + 30 * i, 45, 28, 28}, Kind::kSymbol, i, {}});
  for (int i = 0; i < 13; ++i) {
    places.push_back({1324 + i, {25 + 30 * i, 75, 28, 28}, Kind::kLetter, i, {}});
    places.push_back({1337 + i, {25 + 30 * i, 105, 28, 28}, Kind::kLetter, 13 + i, {}});
  }
  // Before its first showing every key has its index of creation.
  SoftKeyboard keyboard(login.get(), LoginWindow::kPasswordId, OwnKeyboardState());
  EXPECT_EQ(keyboard.size(), QSize(450, 150));
  int keys = 0;
  for (const Place& place : places) {
    SCOPED_TRACE(place.id);
    KeyButton* key = keyboard.key(place.id);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(FindControl(&keyboard, place.id), key);
    EXPECT_EQ(key->geometry(), place.rect);
    EXPECT_EQ(key->keyKind(), place.kind);
    EXPECT_EQ(key->keyIndex(), place.index);
    EXPECT_EQ(key->text(), place.caption);
    keys += place.kind == Kind::kFunction ? 0 : 1;
  }
  EXPECT_EQ(keys, 47);
  EXPECT_EQ(static_cast<std::size_t>(keyboard.findChildren<KeyButton*>().size()), places.size());

  auto* close = qobject_cast<SkinButton*>(FindControl(&keyboard, SoftKeyboard::kCloseId));
  ASSERT_NE(close, nullptr);
  EXPECT_EQ(qobject_cast<KeyButton*>(close), nullptr);
  EXPECT_EQ(close->geometry(), QRect(430, 5, 15, 15));
  EXPECT_EQ(close->normalImage().size(), QSize(15, 15));
  EXPECT_EQ(close->pressedImage().size(), QSize(15, 15));
}

TEST_F(SoftKeyboardTest, RoundedWindowWithFramedBackground) {
  SoftKeyboard& keyboard = OpenKeyboard();
  EXPECT_EQ(keyboard.mask(), RoundRectRegion(450, 150, 9, 9));
  EXPECT_FALSE(keyboard.mask().contains(QPoint(0, 0)));
  EXPECT_FALSE(keyboard.mask().contains(QPoint(449, 149)));
  const QImage surface = keyboard.Render();
  EXPECT_EQ(PixelAt(surface, 0, 75), QColor(198, 206, 206));
  EXPECT_EQ(PixelAt(surface, 449, 75), QColor(198, 206, 206));
  EXPECT_EQ(PixelAt(surface, 225, 0), QColor(198, 206, 206));
  EXPECT_EQ(PixelAt(surface, 225, 149), QColor(198, 206, 206));
  EXPECT_EQ(PixelAt(surface, 225, 10), QColor(239, 239, 247));
  EXPECT_EQ(qAlpha(surface.pixel(0, 0)), 0);  // outside the rounded corner nothing is drawn
}

TEST_F(SoftKeyboardTest, EveryShowingRotatesDigitsAndLettersButNotSymbols) {
  SoftKeyboard& keyboard = OpenKeyboard();
  std::set<std::tuple<int, int, int>> rotations;
  for (int showing = 0; showing < 20; ++showing) {
    SCOPED_TRACE(showing);
    const std::vector<KeyButton*>& letters = keyboard.letterKeys();
    const std::vector<KeyButton*> firstRow(letters.begin(), letters.begin() + 13);
    const std::vector<KeyButton*> secondRow(letters.begin() + 13, letters.end());
    const int digits = RotationOf(keyboard.digitKeys(), 0, 11);
    const int first = RotationOf(firstRow, 0, 13);
    const int second = RotationOf(secondRow, 13, 13);
    EXPECT_GE(digits, 0);
    EXPECT_GE(first, 0);
    EXPECT_GE(second, 0);
    EXPECT_EQ(RotationOf(keyboard.symbolKeys(), 0, 10), 0);
    rotations.insert({digits, first, second});
    ClickKeyboardButton();  // hide
    EXPECT_FALSE(keyboard.isVisible());
    ClickKeyboardButton();  // show again
  }
  // 11 x 13 x 13 equally likely rotations: twenty showings all alike would be a broken generator.
  EXPECT_GE(rotations.size(), 10u);
}

TEST_F(SoftKeyboardTest, TypedCharacterFollowsShiftAndCapsLock) {
  struct Case {
    bool shift;
    bool capsLock;
    Kind kind;
    int index;
    QString typed;
  };
  const Case cases[] = {
      {false, false, Kind::kLetter, 0, "a"},  {false, true, Kind::kLetter, 0, "A"},
      {true, false, Kind::kLetter, 0, "A"},   {true, true, Kind::kLetter, 0, "A"},
      {false, false, Kind::kLetter, 25, "z"}, {false, false, Kind::kDigit, 1, "1"},
      {true, false, Kind::kDigit, 1, "!"},    {false, true, Kind::kDigit, 1, "1"},
      {true, true, Kind::kDigit, 1, "!"},     {false, false, Kind::kDigit, 0, "`"},
      {true, false, Kind::kDigit, 0, "~"},    {true, false, Kind::kDigit, 10, ")"},
      {false, true, Kind::kDigit, 10, "0"},   {false, false, Kind::kSymbol, 4, "\\"},
      {true, false, Kind::kSymbol, 4, "|"},   {true, false, Kind::kSymbol, 6, "\""},
      {false, true, Kind::kSymbol, 6, "'"},   {false, true, Kind::kSymbol, 9, "/"},
      {true, true, Kind::kSymbol, 9, "?"},
  };
  SoftKeyboard& keyboard = OpenKeyboard();
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "shift " << c.shift << " caps " << c.capsLock << " kind "
                                      << int(c.kind) << " index " << c.index);
    login->passwordBox()->clear();
    if (keyboard.keyboardState().shiftDown() != c.shift) Click(keyboard, SoftKeyboard::kShiftId);
    if (keyboard.keyboardState().capsLockOn() != c.capsLock) {
      Click(keyboard, SoftKeyboard::kCapsLockId);
    }
    ASSERT_EQ(keyboard.keyboardState().shiftDown(), c.shift);
    ASSERT_EQ(keyboard.keyboardState().capsLockOn(), c.capsLock);
    KeyButton* key = KeyFor(keyboard, c.kind, c.index);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->label(), c.typed);
    QTest::mouseClick(key, Qt::LeftButton);
    EXPECT_EQ(password(), c.typed);
  }
}

TEST_F(SoftKeyboardTest, DigitKeyShowsTheCharacterShiftSelectsInInkAndTheOtherInGrey) {
  SoftKeyboard& keyboard = OpenKeyboard();
  KeyButton* one = KeyFor(keyboard, Kind::kDigit, 1);
  ASSERT_NE(one, nullptr);
  // The unshifted "1" sits in the left half, the shifted "!" in the right half.
  const QRect leftHalf(1, 1, 13, 26);
  const QRect rightHalf(14, 1, 13, 26);
  const auto darkest = [](const QImage& image, const QRect& area) {
    int value = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x)
        value = std::min(value, PixelAt(image, x, y).value());
    }
    return value;
  };
  const QImage plain = one->Render();
  Click(keyboard, SoftKeyboard::kShiftId);
  const QImage shifted = one->Render();
  // Ink is black (value 0); the grey label never gets darker than its colour, 206.
  EXPECT_LT(darkest(plain, leftHalf), 100);
  EXPECT_GE(darkest(plain, rightHalf), 190);
  EXPECT_LT(darkest(plain, rightHalf), 239);  // but it is there
  EXPECT_LT(darkest(shifted, rightHalf), 100);
  EXPECT_GE(darkest(shifted, leftHalf), 190);
  EXPECT_LT(darkest(shifted, leftHalf), 239);
}

TEST_F(SoftKeyboardTest, NoLabelRunsOverTheFrame) {
  SoftKeyboard& keyboard = OpenKeyboard();
  for (int shifted = 0; shifted < 2; ++shifted) {
    std::vector<KeyButton*> keys = keyboard.digitKeys();
    keys.insert(keys.end(), keyboard.symbolKeys().begin(), keyboard.symbolKeys().end());
    for (KeyButton* key : keys) {
      SCOPED_TRACE(key->label().toStdString());
      const QImage image = key->Render();
      for (int i = 0; i < 28; ++i) {
        ASSERT_EQ(PixelAt(image, i, 0), KeyButton::kBorderColor) << "top " << i;
        ASSERT_EQ(PixelAt(image, i, 27), KeyButton::kBorderColor) << "bottom " << i;
        ASSERT_EQ(PixelAt(image, 0, i), KeyButton::kBorderColor) << "left " << i;
        ASSERT_EQ(PixelAt(image, 27, i), KeyButton::kBorderColor) << "right " << i;
      }
    }
    Click(keyboard, SoftKeyboard::kShiftId);
  }
}

TEST_F(SoftKeyboardTest, ActiveShiftAndCapsLockKeysLookPressed) {
  struct Case {
    int id;
    QColor off;
    QColor on;
  };
  const Case cases[] = {
      {SoftKeyboard::kShiftId, KeyButton::kNormalColor, KeyButton::kPressedColor},
      {SoftKeyboard::kCapsLockId, KeyButton::kNormalColor, KeyButton::kPressedColor}};
  SoftKeyboard& keyboard = OpenKeyboard();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    KeyButton* key = keyboard.key(c.id);
    // The face where no caption ink falls, and the frame.
    EXPECT_EQ(PixelAt(key->Render(), 2, 2), c.off);
    EXPECT_EQ(PixelAt(key->Render(), 0, 0), KeyButton::kBorderColor);
    Click(keyboard, c.id);
    QTest::mouseMove(&keyboard, kEmptySpot);  // off the key: no hover colour
    EXPECT_EQ(key->state(), ButtonState::kNormal);
    EXPECT_EQ(PixelAt(key->Render(), 2, 2), c.on);
    EXPECT_EQ(PixelAt(key->Render(), 0, 0), KeyButton::kBorderColor);
  }
}

TEST_F(SoftKeyboardTest, FaceTakesTheColourOfTheMouseState) {
  SoftKeyboard& keyboard = OpenKeyboard();
  KeyButton* key = keyboard.letterKeys().front();
  const QPoint centre = key->rect().center();
  QTest::mouseMove(&keyboard, kEmptySpot);
  EXPECT_EQ(PixelAt(key->Render(), 2, 2), KeyButton::kNormalColor);
  QTest::mouseMove(key, centre);
  EXPECT_EQ(key->state(), ButtonState::kHover);
  EXPECT_EQ(PixelAt(key->Render(), 2, 2), KeyButton::kHoverColor);
  QTest::mousePress(key, Qt::LeftButton, {}, centre);
  EXPECT_EQ(PixelAt(key->Render(), 2, 2), KeyButton::kPressedColor);
  EXPECT_EQ(PixelAt(key->Render(), 27, 27), KeyButton::kBorderColor);
  QTest::mouseRelease(key, Qt::LeftButton, {}, centre);
  EXPECT_EQ(PixelAt(key->Render(), 2, 2), KeyButton::kHoverColor);
  EXPECT_EQ(password(), key->label());
}

TEST_F(SoftKeyboardTest, LetterLabelsFollowCapsLockChangedElsewhere) {
  SoftKeyboard& keyboard = OpenKeyboard();
  KeyButton* q = KeyFor(keyboard, Kind::kLetter, 16);
  ASSERT_NE(q, nullptr);
  const QImage lower = q->Render();
  int changes = 0;
  QObject::connect(&keyboard.keyboardState(), &KeyboardState::changed, [&] { ++changes; });
  keyboard.keyboardState().ToggleCapsLock();  // not through the soft key
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(q->label(), "Q");
  EXPECT_NE(q->Render(), lower);
  keyboard.keyboardState().ToggleCapsLock();
  EXPECT_EQ(q->label(), "q");
  EXPECT_EQ(q->Render(), lower);
}

TEST_F(SoftKeyboardTest, BackspaceDeletesTheCharacterBeforeTheCaret) {
  SoftKeyboard& keyboard = OpenKeyboard();
  login->passwordBox()->setText("abcd");
  login->passwordBox()->setCursorPosition(2);
  Click(keyboard, SoftKeyboard::kBackspaceId);
  EXPECT_EQ(password(), "acd");
  EXPECT_EQ(login->passwordBox()->cursorPosition(), 1);
  QTest::mouseClick(KeyFor(keyboard, Kind::kLetter, 23), Qt::LeftButton);
  EXPECT_EQ(password(), "axcd");
  login->passwordBox()->setCursorPosition(0);
  Click(keyboard, SoftKeyboard::kBackspaceId);
  EXPECT_EQ(password(), "axcd");
}

TEST_F(SoftKeyboardTest, TypesNothingWhileTheLoginWindowIsClosed) {
  SoftKeyboard& keyboard = OpenKeyboard();
  login->passwordBox()->setText("kept");
  login->hide();
  EXPECT_FALSE(keyboard.isVisible());
  keyboard.OnKey(SoftKeyboard::kFirstLetterId);
  keyboard.OnKey(SoftKeyboard::kBackspaceId);
  keyboard.OnKey(SoftKeyboard::kShiftId);
  keyboard.OnKey(SoftKeyboard::kCapsLockId);
  EXPECT_EQ(password(), "kept");
  EXPECT_FALSE(keyboard.keyboardState().shiftDown());
  EXPECT_FALSE(keyboard.keyboardState().capsLockOn());
}

TEST_F(SoftKeyboardTest, ShownBelowTheLoginWindowAndFollowsIt) {
  const QRect loginPlace = login->frameGeometry();
  ASSERT_EQ(loginPlace.size(), QSize(340, 180));
  SoftKeyboard& keyboard = OpenKeyboard();
  EXPECT_EQ(keyboard.parentWidget(), login.get());
  EXPECT_TRUE(keyboard.isWindow());
  EXPECT_EQ(keyboard.frameGeometry(),
            QRect(loginPlace.left() - 55, loginPlace.top() + 170, 450, 150));
  login->move(loginPlace.topLeft() + QPoint(120, -40));
  Pump(20);
  EXPECT_EQ(keyboard.frameGeometry().topLeft(), loginPlace.topLeft() + QPoint(65, 130));
  EXPECT_EQ(keyboard.size(), QSize(450, 150));
}

TEST_F(SoftKeyboardTest, KeyboardButtonTogglesAndLoggingInHidesIt) {
  EXPECT_EQ(login->softKeyboard(), nullptr);
  SoftKeyboard& keyboard = OpenKeyboard();
  ClickKeyboardButton();
  EXPECT_FALSE(keyboard.isVisible());
  EXPECT_EQ(&ClickKeyboardButton(), &keyboard);  // created once, kept
  EXPECT_TRUE(keyboard.isVisible());
  login->Login();  // refused for the empty account, after hiding the keyboard
  EXPECT_FALSE(keyboard.isVisible());
  EXPECT_EQ(prompts, QStringList{"请输入帐号!"});
}

TEST_F(SoftKeyboardTest, HidingOrClosingLetsGoOfShift) {
  struct Case {
    const char* how;
    std::function<void(SoftKeyboard&)> hide;
  };
  const Case cases[] = {
      {"keyboard button", [this](SoftKeyboard&) { ClickKeyboardButton(); }},
      {"close key",
       [](SoftKeyboard& keyboard) {
         Click(keyboard, SoftKeyboard::kCloseId);
         Pump(20);
       }},
      {"Escape", [](SoftKeyboard& keyboard) { QTest::keyClick(&keyboard, Qt::Key_Escape); }},
      {"login window closes", [this](SoftKeyboard&) { login->hide(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    if (!login->isVisible()) login->show();
    SoftKeyboard& keyboard = OpenKeyboard();
    Click(keyboard, SoftKeyboard::kShiftId);
    Click(keyboard, SoftKeyboard::kCapsLockId);
    ASSERT_TRUE(keyboard.keyboardState().shiftDown());
    c.hide(keyboard);
    EXPECT_FALSE(keyboard.isVisible());
    EXPECT_FALSE(keyboard.keyboardState().shiftDown());
    EXPECT_TRUE(keyboard.keyboardState().capsLockOn());  // Caps Lock is a lock, and stays
    keyboard.keyboardState().ToggleCapsLock();
  }
}

TEST_F(SoftKeyboardTest, LogNamesEveryKeyWithItsPlaceAndLabel) {
  const std::string log = folder / "keyboard.log";
  qputenv("CORVEL_KEYBOARD_LOG", QByteArray::fromStdString(log));
  SoftKeyboard& keyboard = OpenKeyboard();
  qunsetenv("CORVEL_KEYBOARD_LOG");
  Click(keyboard, SoftKeyboard::kCapsLockId);
  ClickKeyboardButton();
  keyboard.keyboardState().ToggleCapsLock();  // while hidden: part of the next showing
  ClickKeyboardButton();

  QFile file(QString::fromStdString(log));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 3 * (1 + 50) + 1);  // 47 character keys and 3 function keys
  EXPECT_EQ(lines[0], "show shift=0 caps=0");
  EXPECT_EQ(lines[51], "state shift=0 caps=1");
  EXPECT_EQ(lines[102], "hide shift=0 caps=1");
  EXPECT_EQ(lines[103], "show shift=0 caps=0");
  // The last showing, as the keys are now: id, centre, label.
  for (int i = 104; i < lines.size(); ++i) {
    const QStringList fields = lines[i].split(' ');
    ASSERT_GE(fields.size(), 4) << lines[i].toStdString();
    KeyButton* key = keyboard.key(fields[0].toInt());
    ASSERT_NE(key, nullptr) << lines[i].toStdString();
    EXPECT_EQ(QPoint(fields[1].toInt(), fields[2].toInt()), key->geometry().center());
    EXPECT_EQ(QStringList(fields.mid(3)).join(' '), key->label());
  }
  EXPECT_TRUE(lines.contains(QStringLiteral("1028 393 58 Caps Lock")));
  EXPECT_TRUE(lines.contains(QStringLiteral("1026 383 28 <--")));
  // The Caps Lock change relabelled the letters: all 26 upper case in its block only.
  const auto upperCaseLetters = [&](int first, int last) {
    int count = 0;
    for (int i = first; i < last; ++i) {
      const QString label = lines[i].section(' ', 3);
      count += label.size() == 1 && label[0].isUpper() ? 1 : 0;
    }
    return count;
  };
  EXPECT_EQ(upperCaseLetters(1, 51), 0);
  EXPECT_EQ(upperCaseLetters(52, 102), 26);
  EXPECT_EQ(upperCaseLetters(104, 154), 0);
}

TEST(KeyboardStateTest, OwnStateWithoutAnX11Display) {
  if (QGuiApplication::platformName() == "xcb") GTEST_SKIP() << "runs on X11";
  const std::unique_ptr<KeyboardState> system = SystemKeyboardState();
  EXPECT_FALSE(system->isSystemState());
  EXPECT_FALSE(system->shiftDown());
  system->ToggleShift();
  EXPECT_TRUE(system->shiftDown());
  system->ReleaseShift();
  EXPECT_FALSE(system->shiftDown());
}

}  // namespace
}  // namespace corvel
