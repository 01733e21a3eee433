#include "ui/soft_keyboard.h"

#include <QFile>
#include <QFontMetrics>
#include <QHideEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QResizeEvent>
#include <QShowEvent>
#include <QSignalBlocker>

#include <algorithm>
#include <string_view>

#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_region.h"
#include "ui/skin/skin_text.h"

namespace corvel {
namespace {

// Index: unshifted / shifted.
constexpr std::string_view kDigitRow = "`1234567890";
constexpr std::string_view kShiftedDigitRow = "~!@#$%^&*()";
constexpr std::string_view kSymbolRow = "-=[]\\;',./";
constexpr std::string_view kShiftedSymbolRow = "_+{}|:\"<>?";
constexpr int kLetterCount = 26;

constexpr int kCloseImageId = 133;
constexpr int kCloseSize = 15;
constexpr int kCornerEllipse = 9;
constexpr int kKeySize = 28;
constexpr int kKeyPitch = 30;
constexpr int kOverlapWithOwner = 10;
const QColor kBackground(239, 239, 247);
const QColor kFrame(198, 206, 206);

QChar RowCharacter(std::string_view row, int index) {
  if (index < 0 || index >= static_cast<int>(row.size())) return {};
  return QChar::fromLatin1(row[static_cast<std::size_t>(index)]);
}

}  // namespace

QChar KeyCharacter(KeyButton::KeyKind kind, int index, bool shiftDown, bool capsLockOn) {
  switch (kind) {
    case KeyButton::KeyKind::kDigit:
      return RowCharacter(shiftDown ? kShiftedDigitRow : kDigitRow, index);
    case KeyButton::KeyKind::kSymbol:
      return RowCharacter(shiftDown ? kShiftedSymbolRow : kSymbolRow, index);
    case KeyButton::KeyKind::kLetter:
      if (index < 0 || index >= kLetterCount) return {};
      return QChar::fromLatin1(static_cast<char>((shiftDown || capsLockOn ? 'A' : 'a') + index));
    case KeyButton::KeyKind::kFunction:
      break;
  }
  return {};
}

KeyButton::KeyButton(KeyKind kind, int index, const KeyboardState& keyboardState, QWidget* parent)
    : SkinButton(parent), keyKind_(kind), keyIndex_(index), keyboardState_(keyboardState) {}

void KeyButton::setKeyIndex(int index) {
  keyIndex_ = index;
  update();
}

QChar KeyButton::character() const {
  return KeyCharacter(keyKind_, keyIndex_, keyboardState_.shiftDown(), keyboardState_.capsLockOn());
}

QString KeyButton::label() const {
  if (keyKind_ == KeyKind::kFunction) return text();
  return QString(character());
}

QImage KeyButton::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { DrawKey(painter); }).toImage();
}

void KeyButton::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap frame = PaintOffscreen(size(), [this](QPainter& painter) { DrawKey(painter); });
  QPainter(this).drawPixmap(0, 0, frame);
}

// An active Shift or Caps Lock shows as a key held down.
bool KeyButton::lit() const {
  const int id = controlId();
  return (id == SoftKeyboard::kShiftId && keyboardState_.shiftDown()) ||
         (id == SoftKeyboard::kCapsLockId && keyboardState_.capsLockOn());
}

void KeyButton::DrawKey(QPainter& painter) const {
  const int width = this->width();
  const int height = this->height();
  const QRegion region = mask().isEmpty() ? QRegion(rect()) : mask();
  painter.setClipRegion(region);
  const QColor face = state() == ButtonState::kHover     ? kHoverColor
                      : state() == ButtonState::kPressed ? kPressedColor
                                                         : kNormalColor;
  FillRectColor(&painter, 0, 0, width, height, face);
  if (lit()) FillRectColor(&painter, 0, 0, width, height, kPressedColor);
  FrameRegionColor(&painter, region, kBorderColor, 1, 1);

  if (keyKind_ == KeyKind::kFunction) {
    DrawTextLine(painter, rect(), text(), Qt::AlignHCenter, font(), kTextColor);
    return;
  }
  const bool shift = keyboardState_.shiftDown();
  const bool capsLock = keyboardState_.capsLockOn();
  if (keyKind_ == KeyKind::kLetter) {
    DrawTextLine(painter, rect(), QString(KeyCharacter(keyKind_, keyIndex_, shift, capsLock)),
                 Qt::AlignHCenter, font(), kTextColor);
    return;
  }
  // Both characters, the one Shift selects now in ink, the other in the frame's grey: the
  // unshifted one from the middle down at the left, the shifted one at the top right. A font
  // whose line would run into the bottom edge (the CJK fonts standing in for SimSun are taller)
  // is raised until it clears it, or brackets and commas would be cut off.
  painter.setFont(font());
  painter.setBackgroundMode(Qt::TransparentMode);
  const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
  const int unshiftedTop = std::min(height / 2, height - 1 - QFontMetrics(font()).height());
  painter.setPen(shift ? kBorderColor : kTextColor);
  painter.drawText(QRect(2, unshiftedTop, width, height), flags,
                   QString(KeyCharacter(keyKind_, keyIndex_, false, false)));
  painter.setPen(shift ? kTextColor : kBorderColor);
  painter.drawText(QRect(width / 2, 2, width, height), flags,
                   QString(KeyCharacter(keyKind_, keyIndex_, true, false)));
}

SoftKeyboard::SoftKeyboard(QWidget* owner, int targetId,
                           std::unique_ptr<KeyboardState> keyboardState)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint),
      targetId_(targetId),
      keyboardState_(std::move(keyboardState)),
      random_(std::random_device{}()),
      logPath_(qEnvironmentVariable("CORVEL_KEYBOARD_LOG")) {
  // Never drawn (the window has no title bar); it names the window for window lists.
  setWindowTitle(QStringLiteral("软键盘"));
  resize(kWidth, kHeight);
  BuildKeys();
  connect(keyboardState_.get(), &KeyboardState::changed, this, [this] {
    RepaintKeys();
    if (isVisible()) LogKeys("state");
  });
}

SoftKeyboard::~SoftKeyboard() {
  // A Shift held by the keyboard would outlive it in the X server.
  if (isVisible()) keyboardState_->ReleaseShift();
  keyboardState_->setWatching(false);
}

KeyButton* SoftKeyboard::AddKey(KeyButton::KeyKind kind, int index, int id, const QRect& place,
                                const QString& caption) {
  auto* key = new KeyButton(kind, index, *keyboardState_, this);
  key->setControlId(id);
  key->setText(caption);
  key->setGeometry(place);
  connect(key, &QAbstractButton::clicked, this, [this, id] { OnKey(id); });
  allKeys_.push_back(key);
  return key;
}

void SoftKeyboard::BuildKeys() {
  auto* close = new SkinButton(this);
  close->setControlId(kCloseId);
  close->SetImagesFromResource(kCloseImageId, kCloseSize, kCloseSize, true);
  close->setGeometry(430, 5, kCloseSize, kCloseSize);
  // Queued: the window closes once the button has finished handling its click.
  connect(close, &QAbstractButton::clicked, this, &QWidget::close, Qt::QueuedConnection);

  using Kind = KeyButton::KeyKind;
  for (int i = 0; i < kDigitCount; ++i) {
    digitKeys_.push_back(AddKey(Kind::kDigit, i, kFirstDigitId + i,
                                QRect(25 + kKeyPitch * i, 15, kKeySize, kKeySize)));
  }
  AddKey(Kind::kFunction, 0, kBackspaceId, QRect(355, 15, 58, kKeySize), QStringLiteral("<--"));
  AddKey(Kind::kFunction, 0, kShiftId, QRect(10, 45, 43, kKeySize), QStringLiteral("Shift"));
  for (int i = 0; i < kSymbolCount; ++i) {
    symbolKeys_.push_back(AddKey(Kind::kSymbol, i, kFirstSymbolId + i,
                                 QRect(55 + kKeyPitch * i, 45, kKeySize, kKeySize)));
  }
  AddKey(Kind::kFunction, 0, kCapsLockId, QRect(355, 45, 78, kKeySize),
         QStringLiteral("Caps Lock"));
  for (int row = 0; row < 2; ++row) {
    for (int i = 0; i < kLetterRowCount; ++i) {
      const int index = row * kLetterRowCount + i;
      letterKeys_.push_back(AddKey(Kind::kLetter, index, kFirstLetterId + index,
                                   QRect(25 + kKeyPitch * i, 75 + 30 * row, kKeySize, kKeySize)));
    }
  }
}

KeyButton* SoftKeyboard::key(int id) const {
  for (KeyButton* key : allKeys_) {
    if (key->controlId() == id) return key;
  }
  return nullptr;
}

void SoftKeyboard::FollowOwner() {
  const QWidget* owner = parentWidget();
  if (owner == nullptr) return;
  const QRect place = owner->frameGeometry();
  move(place.left() + (place.width() - width()) / 2,
       place.top() + place.height() - kOverlapWithOwner);
}

QLineEdit* SoftKeyboard::target() const {
  const QWidget* owner = parentWidget();
  // Only an open owner takes input: its box may keep old text while it is hidden.
  if (owner == nullptr || !owner->isVisible()) return nullptr;
  return qobject_cast<QLineEdit*>(FindControl(owner, targetId_));
}

void SoftKeyboard::OnKey(int id) {
  if (id == kCloseId) {
    close();
    return;
  }
  QLineEdit* box = target();
  if (box == nullptr) return;
  if (id == kBackspaceId) {
    box->backspace();
    return;
  }
  if (id == kShiftId) {
    keyboardState_->ToggleShift();
    return;
  }
  if (id == kCapsLockId) {
    keyboardState_->ToggleCapsLock();
    return;
  }
  const KeyButton* pressed = key(id);
  if (pressed == nullptr) return;
  const QChar typed = pressed->character();
  if (!typed.isNull()) box->insert(QString(typed));
}

void SoftKeyboard::Rotate() {
  const auto r1 = static_cast<int>(random_() % kDigitCount);
  const auto r2 = static_cast<int>(random_() % kLetterRowCount);
  const auto r3 = static_cast<int>(random_() % kLetterRowCount);
  for (int i = 0; i < kDigitCount; ++i) {
    digitKeys_[static_cast<std::size_t>(i)]->setKeyIndex((r1 + i) % kDigitCount);
  }
  for (int i = 0; i < kSymbolCount; ++i)
    symbolKeys_[static_cast<std::size_t>(i)]->setKeyIndex(i);
  for (int i = 0; i < kLetterRowCount; ++i) {
    letterKeys_[static_cast<std::size_t>(i)]->setKeyIndex((r2 + i) % kLetterRowCount);
    letterKeys_[static_cast<std::size_t>(kLetterRowCount + i)]->setKeyIndex(
        kLetterRowCount + (r3 + i) % kLetterRowCount);
  }
}

void SoftKeyboard::RepaintKeys() {
  for (KeyButton* key : allKeys_)
    key->update();
}

QImage SoftKeyboard::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { DrawSurface(painter); }).toImage();
}

void SoftKeyboard::DrawSurface(QPainter& painter) const {
  const QRegion region = mask().isEmpty() ? QRegion(rect()) : mask();
  FillRegionColor(&painter, region, kBackground);
  FrameRegionColor(&painter, region, kFrame, 1, 1);
}

void SoftKeyboard::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface =
      PaintOffscreen(size(), [this](QPainter& painter) { DrawSurface(painter); });
  QPainter(this).drawPixmap(0, 0, surface);
}

void SoftKeyboard::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  setMask(RoundRectRegion(event->size().width(), event->size().height(), kCornerEllipse,
                          kCornerEllipse));
  update();
}

void SoftKeyboard::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  // A window restored by the window manager is the same showing, not a new one.
  if (event->spontaneous()) return;
  {
    // A change made while hidden is part of this showing, not a change of its own.
    const QSignalBlocker quiet(keyboardState_.get());
    keyboardState_->setWatching(true);
  }
  Rotate();
  RepaintKeys();
  LogKeys("show");
}

void SoftKeyboard::hideEvent(QHideEvent* event) {
  // Typing on the physical keyboard after the keyboard is gone must not come out shifted.
  keyboardState_->ReleaseShift();
  if (!event->spontaneous()) keyboardState_->setWatching(false);
  LogKeys("hide");
  QDialog::hideEvent(event);
}

void SoftKeyboard::LogKeys(const char* why) const {
  if (logPath_.isEmpty()) return;
  QString lines = QStringLiteral("%1 shift=%2 caps=%3\n")
                      .arg(QString::fromLatin1(why))
                      .arg(keyboardState_->shiftDown() ? 1 : 0)
                      .arg(keyboardState_->capsLockOn() ? 1 : 0);
  if (std::string_view(why) != "hide") {
    for (const KeyButton* key : allKeys_) {
      const QPoint centre = key->geometry().center();
      lines += QStringLiteral("%1 %2 %3 %4\n")
                   .arg(key->controlId())
                   .arg(centre.x())
                   .arg(centre.y())
                   .arg(key->label());
    }
  }
  QFile file(logPath_);
  if (file.open(QIODevice::Append | QIODevice::Text)) file.write(lines.toUtf8());
}

}  // namespace corvel
