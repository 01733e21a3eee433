// A flat level meter: a pale background, a blue bar from the left edge and a thin grey-green
// border. The bar reaches width * value / (maximum - minimum).
#pragma once

#include <QColor>
#include <QImage>
#include <QProgressBar>

namespace corvel {

class SkinProgress : public QProgressBar {
  Q_OBJECT

 public:
  explicit SkinProgress(QWidget* parent = nullptr);

  void setControlId(int id);
  int controlId() const;

  QColor backgroundColor() const { return background_; }
  QColor barColor() const { return bar_; }
  QColor borderColor() const { return border_; }

  // Where the bar ends: x in [0, width].
  int barEnd() const;
  // The meter as drawn now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void draw(QPainter& painter) const;

  int paintedEnd_ = -1;  // barEnd() as last painted
  QColor background_{239, 239, 247};
  QColor bar_{0, 0, 255};
  QColor border_{198, 206, 206};
};

}  // namespace corvel
