// A label on a solid background (192,192,192 unless set), its text on one line, vertically
// centred and cut with an ellipsis. Alignment 2 centres the text, 1 puts it on the left, any
// other value shows no text.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

namespace corvel {

class SkinStatic : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kAlignLeft = 1;
  static constexpr int kAlignCenter = 2;

  explicit SkinStatic(QWidget* parent = nullptr);
  SkinStatic(const QString& text, QWidget* parent = nullptr);

  void setControlId(int id);
  int controlId() const;

  QString text() const { return text_; }
  void setText(const QString& text);
  QColor backgroundColor() const { return background_; }
  void setBackgroundColor(const QColor& color);
  int alignment() const { return alignment_; }
  void setAlignment(int alignment);

  QSize sizeHint() const override;
  // What the label shows now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void draw(QPainter& painter) const;

  QString text_;
  QColor background_{192, 192, 192};
  int alignment_ = kAlignCenter;
};

}  // namespace corvel
