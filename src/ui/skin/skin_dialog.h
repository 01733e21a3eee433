// The base of the client's pop-up dialogs: frameless, with rounded corners, a bitmap frame cut
// from skin image 130, a title line, a close button (control 1025) and dragging by any point of
// its surface. Derived windows size themselves, create their controls and may draw more on top
// of the background by overriding draw() and calling it first.
#pragma once

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QPixmap>

#include "ui/skin/window_drag.h"

namespace corvel {

class SkinButton;

class SkinDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kCloseButtonId = 1025;

  explicit SkinDialog(QWidget* parent = nullptr);

  // On (the default), a left press on the dialog's own surface moves the window.
  bool dragEnabled() const { return dragEnabled_; }
  void setDragEnabled(bool enabled) { dragEnabled_ = enabled; }

  SkinButton* closeButton() const { return closeButton_; }

  // The dialog's own surface (without its child controls) as it is drawn now.
  QImage Render();

 protected:
  // Background, frame, title line and title.
  virtual void draw(QPainter& painter);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void DrawFrame(QPainter& painter) const;

  QPixmap frame_;
  QFont titleFont_;
  SkinButton* closeButton_;  // child
  bool dragEnabled_ = true;
  WindowDrag drag_;
};

}  // namespace corvel
