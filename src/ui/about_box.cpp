#include "ui/about_box.h"

#include <QPainter>

#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"

#ifndef CORVEL_VERSION
#define CORVEL_VERSION "0.1.0"
#endif

namespace corvel {

AboutBox::AboutBox(QWidget* parent) : SkinDialog(parent) {
  setWindowTitle("关于 Corvel");
  resize(300, 170);
}

void AboutBox::draw(QPainter& painter) {
  SkinDialog::draw(painter);
  const QPixmap logo = SkinImage(137);
  if (!logo.isNull()) painter.drawPixmap(16, 48, logo);
  painter.setPen(QColor(0x1F, 0x2D, 0x3D));
  painter.setFont(SkinFont(12));
  painter.drawText(QRect(118, 48, width() - 130, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QString("Corvel %1").arg(CORVEL_VERSION));
  painter.setFont(SkinFont(10));
  painter.drawText(
      QRect(118, 74, width() - 130, 70), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
      "网络电话客户端\nSIP · RTP · G.711 · G.729 · AMR\nQt 6, osip2, bcg729, opencore-amr");
}

}  // namespace corvel
