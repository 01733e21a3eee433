// A combo box drawn white and flat with the arrow from skin image 143: the top piece while the
// list is closed, the middle one while it is dropped down. An editable combo keeps Qt's line
// edit, placed left of the arrow.
#pragma once

#include <QComboBox>
#include <QImage>
#include <QPixmap>

namespace corvel {

class SkinCombo : public QComboBox {
  Q_OBJECT

 public:
  static constexpr int kArrowWidth = 22;

  explicit SkinCombo(QWidget* parent = nullptr);

  void setControlId(int id);
  int controlId() const;

  bool isDroppedDown() const;
  // The combo's own surface (without the line edit of an editable combo) as drawn now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void draw(QPainter& painter) const;
  void PlaceLineEdit();

  QPixmap arrow_;
  QWidget* popup_;  // the list's pop-up window, owned by the combo box
};

}  // namespace corvel
