// The one way the skin draws a caption: a single line, vertically centred, cut with an ellipsis
// at the end when too long, transparent background, '&' marking a mnemonic.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>

namespace corvel {

// horizontal is Qt::AlignLeft, Qt::AlignHCenter or Qt::AlignRight.
void DrawTextLine(QPainter& painter, const QRect& rect, const QString& text,
                  Qt::Alignment horizontal, const QFont& font, const QColor& color);

}  // namespace corvel
