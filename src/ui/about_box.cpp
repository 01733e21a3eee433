#include "ui/about_box.h"

#include <QFontMetrics>
#include <QPainter>

#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"

#ifndef CORVEL_VERSION
#define CORVEL_VERSION "0.1.0"
#endif

namespace corvel {
namespace {

constexpr int kLogoLeft = 16;
constexpr int kLogoTop = 48;
constexpr int kTextLeft = 118;
constexpr int kTextTop = 48;
constexpr int kGap = 4;      // between the version line and the lines below it
constexpr int kMargin = 18;  // right and bottom, inside the frame
constexpr int kMinWidth = 300;
constexpr int kMinHeight = 170;
const QColor kInk(0x1F, 0x2D, 0x3D);

}  // namespace

AboutBox::AboutBox(QWidget* parent) : SkinDialog(parent) {
  setWindowTitle("关于 Corvel");
  const QSize logo = SkinImage(137).size();
  const QFontMetrics small(SkinFont(10));
  int textWidth = QFontMetrics(SkinFont(12)).horizontalAdvance(VersionLine());
  for (const QString& line : TextLines())
    textWidth = std::max(textWidth, small.horizontalAdvance(line));
  const QRect text = textRect();
  const int width = kTextLeft + textWidth + kMargin;
  const int height = std::max(text.bottom() + 1, kLogoTop + logo.height()) + kMargin;
  resize(std::max(kMinWidth, width), std::max(kMinHeight, height));
}

QString AboutBox::VersionLine() {
  return QString("Corvel %1").arg(CORVEL_VERSION);
}

QStringList AboutBox::TextLines() {
  return {"网络电话客户端", "SIP · RTP · G.711 · G.729 · AMR", "Qt 6, osip2, bcg729, opencore-amr"};
}

QRect AboutBox::versionRect() const {
  const QFontMetrics big(SkinFont(12));
  return QRect(kTextLeft, kTextTop, width() - kTextLeft - kMargin, big.height());
}

QRect AboutBox::textRect() const {
  const QFontMetrics small(SkinFont(10));
  const int top = versionRect().bottom() + 1 + kGap;
  return QRect(kTextLeft, top, width() - kTextLeft - kMargin,
               small.lineSpacing() * static_cast<int>(TextLines().size()));
}

void AboutBox::draw(QPainter& painter) {
  SkinDialog::draw(painter);
  const QPixmap logo = SkinImage(137);
  if (!logo.isNull()) painter.drawPixmap(kLogoLeft, kLogoTop, logo);
  painter.setPen(kInk);
  painter.setFont(SkinFont(12));
  painter.drawText(versionRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   VersionLine());
  painter.setFont(SkinFont(10));
  const QRect text = textRect();
  const int lineHeight = QFontMetrics(SkinFont(10)).lineSpacing();
  int top = text.top();
  for (const QString& line : TextLines()) {
    painter.drawText(QRect(text.left(), top, text.width(), lineHeight),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, line);
    top += lineHeight;
  }
}

}  // namespace corvel
