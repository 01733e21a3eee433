#include "ui/skin/skin_dialog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QResizeEvent>

#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_region.h"
#include "ui/skin/skin_text.h"

namespace corvel {
namespace {

constexpr int kFrameImageId = 130;
constexpr int kCloseImageId = 133;
constexpr int kCornerEllipse = 15;
constexpr int kCloseSize = 15;
constexpr int kCloseRightOffset = 30;
constexpr int kCloseTop = 13;
const QColor kBackground(239, 239, 247);
const QColor kTitleLine(198, 206, 206);

// The empty dialog every derived window starts from measures 124 x 74 dialog units; with the
// usual dialog font's base units (6 x 13 pixels) that is 186 x 120 pixels.
constexpr int kInitialWidth = 186;
constexpr int kInitialHeight = 120;

}  // namespace

SkinDialog::SkinDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      frame_(SkinImage(kFrameImageId)),
      titleFont_(SkinFont(12)),
      closeButton_(new SkinButton(this)) {
  closeButton_->setControlId(kCloseButtonId);
  closeButton_->SetImagesFromResource(kCloseImageId, kCloseSize, kCloseSize, true);
  // Queued: the dialog closes once the button has finished handling its click.
  connect(closeButton_, &QAbstractButton::clicked, this, &QWidget::close, Qt::QueuedConnection);
  resize(kInitialWidth, kInitialHeight);
}

QImage SkinDialog::Render() {
  return PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

void SkinDialog::draw(QPainter& painter) {
  const int width = this->width();
  FillRectColor(&painter, 0, 0, width, height(), kBackground);
  DrawFrame(painter);
  DrawLine(&painter, 10, 32, width - 10, 32, kTitleLine, 1, Qt::SolidLine);
  DrawTextLine(painter, QRect(20, 10, width - 50 - 20, 32 - 10), windowTitle(), Qt::AlignLeft,
               titleFont_, Qt::black);
}

// Edges stretched from short pieces of the frame image, corners copied as they are.
void SkinDialog::DrawFrame(QPainter& painter) const {
  if (frame_.isNull()) return;
  const int w = width();
  const int h = height();
  DrawBitmapPart(&painter, 0, 0, 12, h, frame_, 0, 250, 12, 40);
  DrawBitmapPart(&painter, w - 12, 0, 12, h, frame_, 270, 246, 12, 40);
  DrawBitmapPart(&painter, 0, 0, w, 12, frame_, 40, 0, 40, 12);
  DrawBitmapPart(&painter, 0, 0, 0, 0, frame_, 0, 0, 40, 30);
  DrawBitmapPart(&painter, w - 12, 0, 0, 0, frame_, 270, 0, 12, 30);
  DrawBitmapPart(&painter, 0, h - 12, w, 12, frame_, 40, 568, 40, 12);
  DrawBitmapPart(&painter, 0, h - 12, 0, 0, frame_, 0, 568, 40, 12);
  DrawBitmapPart(&painter, w - 12, h - 12, 0, 0, frame_, 270, 568, 12, 12);
}

void SkinDialog::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface = PaintOffscreen(size(), [this](QPainter& painter) { draw(painter); });
  QPainter(this).drawPixmap(0, 0, surface);
}

void SkinDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QSize size = event->size();
  setMask(RoundRectRegion(size.width(), size.height(), kCornerEllipse, kCornerEllipse));
  closeButton_->setGeometry(size.width() - kCloseRightOffset, kCloseTop, kCloseSize, kCloseSize);
  update();
}

void SkinDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::WindowTitleChange) update();
}

void SkinDialog::mousePressEvent(QMouseEvent* event) {
  QDialog::mousePressEvent(event);
  if (!dragEnabled_ || event->button() != Qt::LeftButton) return;
  event->accept();
  drag_.Press(*this, event->globalPosition().toPoint());
}

void SkinDialog::mouseMoveEvent(QMouseEvent* event) {
  QDialog::mouseMoveEvent(event);
  drag_.Move(*this, event->globalPosition().toPoint(), event->buttons().testFlag(Qt::LeftButton));
}

void SkinDialog::mouseReleaseEvent(QMouseEvent* event) {
  QDialog::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) drag_.Release();
}

}  // namespace corvel
