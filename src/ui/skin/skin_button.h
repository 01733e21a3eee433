// A push button drawn from images: a face (the normal image, or the face colour), the hover or
// pressed image over it, and the caption in the 10-point skin font. The kind adds a tab look
// (Selected), a caption that lights up on hover (TextHighlight) or a check box (CheckBox).
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRegion>

#include <cstdint>

namespace corvel {

enum class ButtonState : int { kNormal = 16, kHover = 32, kPressed = 48 };

enum class ButtonKind : std::uint8_t {
  kPlain = 0,
  kSelected = 1,
  kTextHighlight = 2,
  kCheckBox = 3
};

class SkinButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit SkinButton(QWidget* parent = nullptr);

  void setControlId(int id);
  int controlId() const;

  // Cuts three pieces of pieceWidth x pieceHeight from skin image resourceId, stacked downwards
  // when vertical, else side by side: normal, hover, pressed. Returns 1, or 0 (button unchanged)
  // when the image is missing.
  int SetImagesFromResource(int resourceId, int pieceWidth, int pieceHeight, bool vertical);
  // Cuts this button's place in its top-level window out of three full-window skins. Returns 1.
  int SetImagesFromSkins(const QPixmap& normalSkin, const QPixmap& pressedSkin,
                         const QPixmap& hoverSkin);
  void SetImageSet(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed);

  const QPixmap& normalImage() const { return normal_; }
  const QPixmap& hoverImage() const { return hover_; }
  const QPixmap& pressedImage() const { return pressed_; }

  ButtonState state() const { return state_; }
  ButtonKind kind() const { return kind_; }
  void setKind(ButtonKind kind);
  // For kind CheckBox: the box is filled. Owners toggle it; a click does not.
  bool boxChecked() const { return boxChecked_; }
  void setBoxChecked(bool checked);
  QColor faceColor() const { return faceColor_; }
  void setFaceColor(const QColor& color);
  QColor highlightColor() const { return highlightColor_; }
  void setHighlightColor(const QColor& color);
  QColor textColor() const { return textColor_; }
  void setTextColor(const QColor& color);

  QSize sizeHint() const override;
  // What the button shows now.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void draw(QPainter& painter) const;
  void DrawCheckBox(QPainter& painter, int width, int height) const;
  void Track(Qt::MouseButtons buttons);
  void RepaintSelectedNeighbour(const QRegion& painted);

  ButtonState state_ = ButtonState::kNormal;
  ButtonKind kind_ = ButtonKind::kPlain;
  bool boxChecked_ = false;
  QFont font_;
  QPixmap normal_;
  QPixmap hover_;
  QPixmap pressed_;
  QColor faceColor_{192, 192, 192};
  QColor highlightColor_{0, 0, 255};
  QColor textColor_{0, 0, 0};
};

// A button in the look of the dialogs' command buttons (the pieces of skin image 132, a white
// caption), as the prompt box, the login and the conference windows have them.
SkinButton* MakeDialogButton(QWidget* parent, int id, const QString& caption);

}  // namespace corvel
