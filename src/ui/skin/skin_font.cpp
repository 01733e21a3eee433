#include "ui/skin/skin_font.h"

#include <QStringList>

namespace corvel {

QFont SkinFont(int pointSize) {
  QFont font;
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Micro Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPointSize(pointSize);
  return font;
}

}  // namespace corvel
