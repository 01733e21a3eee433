// The flat header of the client's report lists: a light blue strip with each section's title
// centred and a grey line down each section's right edge.
#pragma once

#include <QHeaderView>
#include <QImage>

namespace corvel {

class SkinHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit SkinHeader(Qt::Orientation orientation, QWidget* parent = nullptr);

  // The header as drawn now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void draw(QPainter& painter) const;
  QRect sectionArea(int logicalIndex) const;
};

}  // namespace corvel
