// The about box: the product, its version, and where its parts come from. It sizes itself to
// its text, so no line is wrapped or cut whatever font the desktop supplies.
#pragma once

#include <QRect>
#include <QStringList>

#include "ui/skin/skin_dialog.h"

namespace corvel {

class AboutBox : public SkinDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);

  // The version line, then the lines below it.
  static QString VersionLine();
  static QStringList TextLines();
  // Where the version line and the lines below it are drawn.
  QRect versionRect() const;
  QRect textRect() const;

 protected:
  void draw(QPainter& painter) override;
};

}  // namespace corvel
