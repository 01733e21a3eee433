#include "ui/skin/skin_button.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>

#include <algorithm>
#include <utility>

#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_text.h"

namespace corvel {
namespace {

constexpr int kSelectedAlpha = 50;
constexpr int kCallButtonId = 1026;
constexpr int kHangUpButtonId = 1027;
constexpr int kFirstTabId = 1002;
constexpr int kLastTabId = 1005;

// A rectangle as left, top, right, bottom (exclusive), the way the box is described.
struct Edges {
  int left;
  int top;
  int right;
  int bottom;

  int width() const { return right - left; }
  int height() const { return bottom - top; }
  Edges Shrunk(int byLeft, int byTop, int byRight, int byBottom) const {
    return {left + byLeft, top + byTop, right - byRight, bottom - byBottom};
  }
};

}  // namespace

SkinButton::SkinButton(QWidget* parent) : QAbstractButton(parent), font_(SkinFont(10)) {
  setFont(font_);
  setMouseTracking(true);
}

void SkinButton::setControlId(int id) {
  SetControlId(*this, id);
}

int SkinButton::controlId() const {
  return ControlId(*this);
}

int SkinButton::SetImagesFromResource(int resourceId, int pieceWidth, int pieceHeight,
                                      bool vertical) {
  const QPixmap source = SkinImage(resourceId);
  if (source.isNull()) return 0;
  QPixmap* const targets[] = {&normal_, &hover_, &pressed_};
  for (int i = 0; i < 3; ++i) {
    const int x = vertical ? 0 : i * pieceWidth;
    const int y = vertical ? i * pieceHeight : 0;
    QPixmap piece = CropBitmap(source, x, y, pieceWidth, pieceHeight);
    if (!piece.isNull()) *targets[i] = std::move(piece);
  }
  update();
  return 1;
}

int SkinButton::SetImagesFromSkins(const QPixmap& normalSkin, const QPixmap& pressedSkin,
                                   const QPixmap& hoverSkin) {
  // The skins cover the whole top-level window from its origin, so the button's place in that
  // window is its place on the skin.
  const QRect place(mapTo(window(), QPoint(0, 0)), size());
  normal_ = CropBitmap(normalSkin, place.x(), place.y(), place.width(), place.height());
  pressed_ = CropBitmap(pressedSkin, place.x(), place.y(), place.width(), place.height());
  hover_ = CropBitmap(hoverSkin, place.x(), place.y(), place.width(), place.height());
  update();
  return 1;
}

void SkinButton::SetImageSet(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed) {
  normal_ = normal;
  hover_ = hover;
  pressed_ = pressed;
  update();
}

void SkinButton::setKind(ButtonKind kind) {
  kind_ = kind;
  update();
}

void SkinButton::setBoxChecked(bool checked) {
  boxChecked_ = checked;
  update();
}

void SkinButton::setFaceColor(const QColor& color) {
  faceColor_ = color;
  update();
}

void SkinButton::setHighlightColor(const QColor& color) {
  highlightColor_ = color;
  update();
}

void SkinButton::setTextColor(const QColor& color) {
  textColor_ = color;
  update();
}

QSize SkinButton::sizeHint() const {
  if (!normal_.isNull()) return normal_.size();
  const QFontMetrics metrics(font_);
  return {metrics.horizontalAdvance(text()) + 16, std::max(20, metrics.height() + 6)};
}

QImage SkinButton::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

void SkinButton::draw(QPainter& painter) const {
  const int width = this->width();
  const int height = this->height();
  if (!normal_.isNull()) {
    DrawBitmap(&painter, 0, 0, width, height, normal_);
  } else {
    FillRectColor(&painter, 0, 0, width, height, faceColor_);
  }

  QColor captionColor = textColor_;
  painter.setClipRegion(mask().isEmpty() ? QRegion(rect()) : mask());
  if (state_ != ButtonState::kNormal) {
    const QPixmap& overlay = state_ == ButtonState::kHover ? hover_ : pressed_;
    if (!overlay.isNull()) {
      DrawBitmap(&painter, 0, 0, width, height, overlay);
    } else if (kind_ == ButtonKind::kTextHighlight) {
      captionColor = highlightColor_;
    }
  }
  if (kind_ == ButtonKind::kSelected) {
    AlphaFill(&painter, 0, 0, width, height, highlightColor_, kSelectedAlpha);
  }
  if (kind_ == ButtonKind::kCheckBox) DrawCheckBox(painter, width, height);
  const int id = controlId();
  if (id == kCallButtonId || id == kHangUpButtonId) {
    DrawTextLine(painter, rect().translated(10, 0), text(), Qt::AlignHCenter, font_, captionColor);
  } else if (kind_ == ButtonKind::kCheckBox) {
    DrawTextLine(painter, rect(), text(), Qt::AlignLeft, font_, captionColor);
  } else {
    DrawTextLine(painter, rect(), text(), Qt::AlignHCenter, font_, captionColor);
  }
}

void SkinButton::DrawCheckBox(QPainter& painter, int width, int height) const {
  Edges box{width - height + 5, 3, width - 3, height - 6};
  DrawRectBorder(&painter, box.left, box.top, box.right, box.bottom, textColor_, 1);
  if (!boxChecked_) return;
  // Three nested fills, each more opaque, so the mark looks soft at its edge.
  box = box.Shrunk(2, 2, 1, 1);
  AlphaFill(&painter, box.left, box.top, box.width(), box.height(), highlightColor_, 100);
  box = box.Shrunk(2, 2, 2, 2);
  AlphaFill(&painter, box.left, box.top, box.width(), box.height(), highlightColor_, 200);
  box = box.Shrunk(2, 2, 2, 2);
  FillRectColor(&painter, box.left, box.top, box.right, box.bottom, highlightColor_);
}

void SkinButton::paintEvent(QPaintEvent* event) {
  const QPixmap frame = PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); });
  QPainter(this).drawPixmap(0, 0, frame);
  RepaintSelectedNeighbour(event->region());
}

// The tab buttons 1002..1005 overlap; the selected tab has to be drawn after its right-hand
// neighbour so that it stays on top.
void SkinButton::RepaintSelectedNeighbour(const QRegion& painted) {
  const int id = controlId();
  if (id <= kFirstTabId || id > kLastTabId) return;
  if (id != kLastTabId && kind_ == ButtonKind::kSelected) return;
  auto* neighbour = qobject_cast<SkinButton*>(FindControl(parentWidget(), id - 1));
  if (neighbour == nullptr || neighbour->kind() != ButtonKind::kSelected) return;
  // A paint confined to where the neighbour overlaps us is the echo of the neighbour's own
  // repaint; passing it back would repaint the two for ever.
  const QRect neighbourHere = neighbour->geometry().translated(-pos());
  if ((painted - QRegion(neighbourHere)).isEmpty()) return;
  neighbour->update();
}

void SkinButton::Track(Qt::MouseButtons buttons) {
  setFocus(Qt::MouseFocusReason);
  state_ = buttons.testFlag(Qt::LeftButton) ? ButtonState::kPressed : ButtonState::kHover;
  update();
}

void SkinButton::enterEvent(QEnterEvent* event) {
  Track(QGuiApplication::mouseButtons());
  QAbstractButton::enterEvent(event);
}

void SkinButton::mouseMoveEvent(QMouseEvent* event) {
  Track(event->buttons());
  QAbstractButton::mouseMoveEvent(event);
}

void SkinButton::leaveEvent(QEvent* event) {
  if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
  if (mouseGrabber() == this) releaseMouse();
  state_ = ButtonState::kNormal;
  update();
  QAbstractButton::leaveEvent(event);
}

void SkinButton::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    state_ = ButtonState::kPressed;
    update();
  }
  QAbstractButton::mousePressEvent(event);
}

void SkinButton::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    state_ = ButtonState::kHover;
    update();
  }
  // Last: a click may close or delete the window this button is in.
  QAbstractButton::mouseReleaseEvent(event);
}

SkinButton* MakeDialogButton(QWidget* parent, int id, const QString& caption) {
  auto* button = new SkinButton(parent);
  button->setControlId(id);
  button->SetImagesFromResource(132, 57, 20, true);
  button->setTextColor(Qt::white);
  button->setText(caption);
  return button;
}

}  // namespace corvel
