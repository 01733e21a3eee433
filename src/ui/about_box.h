// The about box: the product, its version, and where its parts come from.
#pragma once

#include "ui/skin/skin_dialog.h"

namespace corvel {

class AboutBox : public SkinDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);

 protected:
  void draw(QPainter& painter) override;
};

}  // namespace corvel
