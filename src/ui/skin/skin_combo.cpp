#include "ui/skin/skin_combo.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QLineEdit>

#include <algorithm>

#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skin_control_id.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_text.h"

namespace corvel {
namespace {

constexpr int kArrowImageId = 143;
constexpr int kArrowPiece = 22;
constexpr int kTextIndent = 3;

}  // namespace

SkinCombo::SkinCombo(QWidget* parent)
    : QComboBox(parent), arrow_(SkinImage(kArrowImageId)), popup_(view()->window()) {
  // However the list opens or closes (a click, a key, a click elsewhere), the arrow follows.
  popup_->installEventFilter(this);
}

void SkinCombo::setControlId(int id) {
  SetControlId(*this, id);
}

int SkinCombo::controlId() const {
  return ControlId(*this);
}

bool SkinCombo::isDroppedDown() const {
  return popup_->isVisible();
}

QImage SkinCombo::Render() const {
  return PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

void SkinCombo::draw(QPainter& painter) const {
  const int w = width();
  const int h = height();
  FillRectColor(&painter, 0, 1, w, h, Qt::white);
  DrawBitmapPart(&painter, w - kArrowWidth, 0, kArrowWidth, h, arrow_, 0,
                 isDroppedDown() ? kArrowPiece : 0, kArrowPiece, kArrowPiece);
  // A non-editable combo has no line edit to show the current item, so it is drawn here.
  if (!isEditable()) {
    const QRect textRect(kTextIndent, 1, std::max(0, w - kArrowWidth - 2 * kTextIndent), h - 1);
    DrawTextLine(painter, textRect, currentText(), Qt::AlignLeft, font(), Qt::black);
  }
}

void SkinCombo::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface = PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); });
  QPainter(this).drawPixmap(0, 0, surface);
}

void SkinCombo::PlaceLineEdit() {
  if (QLineEdit* edit = lineEdit()) {
    edit->setGeometry(kTextIndent, 1, std::max(0, width() - kArrowWidth - kTextIndent),
                      std::max(0, height() - 2));
  }
}

void SkinCombo::resizeEvent(QResizeEvent* event) {
  QComboBox::resizeEvent(event);
  PlaceLineEdit();
}

void SkinCombo::showEvent(QShowEvent* event) {
  QComboBox::showEvent(event);
  PlaceLineEdit();
}

bool SkinCombo::eventFilter(QObject* watched, QEvent* event) {
  if (watched == popup_ && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
    update();
  }
  return QComboBox::eventFilter(watched, event);
}

}  // namespace corvel
