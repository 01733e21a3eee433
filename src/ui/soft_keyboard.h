// The on-screen keyboard of the login window: 47 character keys, backspace, Shift and Caps Lock,
// for typing the password with the mouse. Each click types one character into the owner's
// password box. Shift and Caps Lock are the system's (see KeyboardState), so labels, typed
// characters and the physical keyboard agree. The digit row and the two letter rows are rotated
// by random amounts on every showing, so a character is not at the same place twice.
#pragma once

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "ui/keyboard_state.h"
#include "ui/skin/skin_button.h"

class QLineEdit;

namespace corvel {

// One key: a flat face in the colour of its state and its labels. Mouse handling and font are
// the SkinButton's; the face is the key's own.
class KeyButton : public SkinButton {
  Q_OBJECT

 public:
  enum class KeyKind : std::uint8_t { kFunction = 0, kDigit = 1, kSymbol = 2, kLetter = 3 };

  static inline const QColor kBorderColor{198, 206, 206};  // frame, and the inactive label
  static inline const QColor kTextColor{0, 0, 0};
  static inline const QColor kNormalColor{239, 239, 247};
  static inline const QColor kHoverColor{111, 206, 206};
  // Also the face of an active Shift or Caps Lock key.
  static inline const QColor kPressedColor{0, 0, 255};

  KeyButton(KeyKind kind, int index, const KeyboardState& keyboardState, QWidget* parent);

  KeyKind keyKind() const { return keyKind_; }
  // The key's place in its row's table: 0..10 digits, 0..9 symbols, 0..25 letters a..z.
  int keyIndex() const { return keyIndex_; }
  void setKeyIndex(int index);

  // The character a click types now; null for a function key.
  QChar character() const;
  // What the key says now: that character, or a function key's caption.
  QString label() const;

  // What the key shows now (hides SkinButton::Render: the face is drawn here).
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void DrawKey(QPainter& painter) const;
  bool lit() const;

  KeyKind keyKind_;
  int keyIndex_;
  const KeyboardState& keyboardState_;  // the keyboard's, which outlives its keys
};

// The character of a key of that kind and index with Shift down or not and Caps Lock on or not;
// null for a function key or an index outside its table.
QChar KeyCharacter(KeyButton::KeyKind kind, int index, bool shiftDown, bool capsLockOn);

class SoftKeyboard : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kWidth = 450;
  static constexpr int kHeight = 150;
  static constexpr int kCloseId = 1025;
  static constexpr int kBackspaceId = 1026;
  static constexpr int kShiftId = 1027;
  static constexpr int kCapsLockId = 1028;
  static constexpr int kFirstDigitId = 1124;
  static constexpr int kFirstSymbolId = 1224;
  static constexpr int kFirstLetterId = 1324;
  static constexpr int kDigitCount = 11;
  static constexpr int kSymbolCount = 10;
  static constexpr int kLetterRowCount = 13;

  // A pop-up window of owner; clicks type into the owner's control targetId (a QLineEdit).
  SoftKeyboard(QWidget* owner, int targetId,
               std::unique_ptr<KeyboardState> keyboardState = SystemKeyboardState());
  ~SoftKeyboard() override;

  // Horizontally centred on the owner, its top 10 pixels above the owner's bottom edge.
  void FollowOwner();

  // What a click on control id does: close, backspace, Shift, Caps Lock, or a character.
  void OnKey(int id);

  KeyboardState& keyboardState() const { return *keyboardState_; }
  // The key with that control id, or nullptr.
  KeyButton* key(int id) const;
  const std::vector<KeyButton*>& digitKeys() const { return digitKeys_; }
  const std::vector<KeyButton*>& symbolKeys() const { return symbolKeys_; }
  const std::vector<KeyButton*>& letterKeys() const { return letterKeys_; }

  // The window's own surface (without its keys) as it is drawn now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildKeys();
  KeyButton* AddKey(KeyButton::KeyKind kind, int index, int id, const QRect& place,
                    const QString& caption = {});
  void Rotate();
  void RepaintKeys();
  QLineEdit* target() const;
  void DrawSurface(QPainter& painter) const;
  // Under test, CORVEL_KEYBOARD_LOG names a file that gets, at every showing, every change of
  // Shift or Caps Lock while shown and every hiding, a line "why shift=S caps=C" followed (except
  // for a hiding) by one line "id x y label" per key, x and y its centre in the keyboard: an
  // end-to-end check finds the rotated keys by their labels this way.
  void LogKeys(const char* why) const;

  int targetId_;
  std::unique_ptr<KeyboardState> keyboardState_;
  std::mt19937 random_;
  std::vector<KeyButton*> digitKeys_;  // children, left to right
  std::vector<KeyButton*> symbolKeys_;
  std::vector<KeyButton*> letterKeys_;  // both rows, a..m then n..z at creation
  std::vector<KeyButton*> allKeys_;
  QString logPath_;
};

}  // namespace corvel
