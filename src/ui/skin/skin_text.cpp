#include "ui/skin/skin_text.h"

#include <QFontMetrics>

namespace corvel {

void DrawTextLine(QPainter& painter, const QRect& rect, const QString& text,
                  Qt::Alignment horizontal, const QFont& font, const QColor& color) {
  if (text.isEmpty() || rect.isEmpty()) return;
  constexpr int kFlags = Qt::TextSingleLine | Qt::TextShowMnemonic;
  const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width(), kFlags);
  painter.save();
  painter.setFont(font);
  painter.setPen(color);
  painter.setBackgroundMode(Qt::TransparentMode);
  painter.drawText(rect, kFlags | (horizontal & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter,
                   shown);
  painter.restore();
}

}  // namespace corvel
