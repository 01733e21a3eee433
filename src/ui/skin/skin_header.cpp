#include "ui/skin/skin_header.h"

#include <QAbstractItemModel>

#include "ui/skin/skin_draw.h"
#include "ui/skin/skin_offscreen.h"
#include "ui/skin/skin_text.h"

namespace corvel {
namespace {

const QColor kBackground(209, 209, 255);
const QColor kDivider(192, 192, 192);
constexpr int kMaxTitleLength = 255;

}  // namespace

SkinHeader::SkinHeader(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {}

QImage SkinHeader::Render() const {
  return PaintOffscreen(viewport()->size(), [this](QPainter& painter) { draw(painter); }).toImage();
}

QRect SkinHeader::sectionArea(int logicalIndex) const {
  const int position = sectionViewportPosition(logicalIndex);
  const int size = sectionSize(logicalIndex);
  const QSize area = viewport()->size();
  return orientation() == Qt::Horizontal ? QRect(position, 0, size, area.height())
                                         : QRect(0, position, area.width(), size);
}

void SkinHeader::draw(QPainter& painter) const {
  const QSize area = viewport()->size();
  FillRectColor(&painter, 0, 0, area.width(), area.height(), kBackground);
  const QAbstractItemModel* items = model();
  if (items == nullptr) return;
  for (int visual = 0; visual < count(); ++visual) {
    const int logical = logicalIndex(visual);
    if (isSectionHidden(logical)) continue;
    const QRect section = sectionArea(logical);
    const QString title =
        items->headerData(logical, orientation(), Qt::DisplayRole).toString().left(kMaxTitleLength);
    DrawTextLine(painter, section, title, Qt::AlignHCenter, font(), Qt::black);
    const int edge = section.x() + section.width() - 1;
    DrawLine(&painter, edge, section.y(), edge, section.y() + section.height(), kDivider, 1,
             Qt::SolidLine);
  }
}

void SkinHeader::paintEvent(QPaintEvent* /*event*/) {
  const QPixmap surface =
      PaintOffscreen(viewport()->size(), [this](QPainter& painter) { draw(painter); });
  QPainter(viewport()).drawPixmap(0, 0, surface);
}

}  // namespace corvel
