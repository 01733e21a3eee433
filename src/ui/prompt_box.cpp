#include "ui/prompt_box.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "app/config.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_font.h"
#include "ui/url_opener.h"

namespace corvel {
namespace {

constexpr int kButtonWidth = 57;
constexpr int kButtonHeight = 20;
constexpr int kRowTopFromBottom = 35;
constexpr int kRightSlotFromRight = 69;
constexpr int kSlotStep = 62;
constexpr int kMargin = 12;
constexpr int kTextTop = 35;
const QColor kTextColor(0x1F, 0x2D, 0x3D);

std::string& ConfigPath() {
  static std::string path;
  return path;
}

PromptHandler& Handler() {
  static PromptHandler handler;
  return handler;
}

}  // namespace

// 124 x 74 dialog units measured in the box's 10-point font (base units about 7 x 14 pixels).
constexpr int kBoxWidth = 217;
constexpr int kBoxHeight = 130;

PromptBox::PromptBox(QWidget* parent) : SkinDialog(parent) {
  setFont(SkinFont(10));
  resize(kBoxWidth, kBoxHeight);
}

void PromptBox::SetConfigPath(std::string path) {
  ConfigPath() = std::move(path);
}

void PromptBox::SetButton1(bool shown, const QString& caption) {
  button1Shown_ = shown;
  button1Caption_ = caption;
}

void PromptBox::SetButton2(bool shown, const QString& caption) {
  button2Shown_ = shown;
  button2Caption_ = caption;
}

int PromptBox::Show(const QString& caption, const QString& text, int alignment) {
  setWindowTitle(caption);
  text_ = text;
  alignment_ = alignment;
  result_ = 0;
  if (isVisible()) {
    update();
    raise();
    activateWindow();
    return 1;
  }
  PlaceButtons();
  // Centred in the work area of the screen that holds the owner.
  const QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
  if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
  exec();
  return 1;
}

void PromptBox::PlaceButtons() {
  const bool first = button1Shown_;
  const bool second = button1Shown_ && button2Shown_;
  if (first && button1_ == nullptr) {
    button1_ = MakeDialogButton(this, kButton1Id, button1Caption_);
    connect(button1_, &QAbstractButton::clicked, this, &PromptBox::OnButton1);
  }
  if (second && button2_ == nullptr) {
    button2_ = MakeDialogButton(this, kButton2Id, button2Caption_);
    connect(button2_, &QAbstractButton::clicked, this, &PromptBox::OnButton2);
  }
  const int top = height() - kRowTopFromBottom;
  const int rightSlot = width() - kRightSlotFromRight;
  if (button1_ != nullptr) {
    button1_->setText(button1Caption_);
    button1_->setGeometry(second ? rightSlot - kSlotStep : rightSlot, top, kButtonWidth,
                          kButtonHeight);
    button1_->setVisible(first);
  }
  if (button2_ != nullptr) {
    button2_->setText(button2Caption_);
    button2_->setGeometry(rightSlot, top, kButtonWidth, kButtonHeight);
    button2_->setVisible(second);
  }
}

QRect PromptBox::textRect() const {
  const int bottom = button1Shown_ ? kRowTopFromBottom : kMargin;
  return QRect(QPoint(kMargin, kTextTop), QPoint(width() - kMargin - 1, height() - bottom - 1));
}

void PromptBox::draw(QPainter& painter) {
  SkinDialog::draw(painter);
  if (alignment_ != kAlignCentredLine && alignment_ != kAlignWrapped) return;
  const QRect area = textRect();
  painter.setFont(font());
  painter.setPen(kTextColor);
  const QFontMetrics metrics(font());
  if (alignment_ == kAlignCentredLine) {
    const QString line = metrics.elidedText(text_, Qt::ElideRight, area.width());
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, line);
    return;
  }
  // Word-wrapped from the top left; the last line that fits ends with an ellipsis when cut.
  const int lineHeight = metrics.lineSpacing();
  const int maxLines = std::max(1, area.height() / lineHeight);
  QStringList lines;
  QString rest = text_;
  while (!rest.isEmpty() && lines.size() < maxLines) {
    int fit = 1;
    while (fit < rest.size() && metrics.horizontalAdvance(rest.left(fit + 1)) <= area.width()) {
      ++fit;
    }
    // Prefer to break after a space when the line holds one.
    const int space = rest.left(fit).lastIndexOf(' ');
    if (fit < rest.size() && space > 0) fit = space + 1;
    lines << rest.left(fit).trimmed();
    rest = rest.mid(fit);
  }
  if (!rest.isEmpty() && !lines.isEmpty()) {
    lines.back() = metrics.elidedText(lines.back() + rest, Qt::ElideRight, area.width());
  }
  for (int i = 0; i < lines.size(); ++i) {
    painter.drawText(QRect(area.left(), area.top() + i * lineHeight, area.width(), lineHeight),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, lines[i]);
  }
}

void PromptBox::keyPressEvent(QKeyEvent* event) {
  // Enter does not pick a button; Escape closes as the close box does.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  SkinDialog::keyPressEvent(event);
}

void PromptBox::OnButton1() {
  result_ = kClosedByButton1;
  const Config config(ConfigPath());
  if (button1Caption_ == "充值") OpenUrl(QString::fromStdString(config.rechargeHttp()));
  if (button1Caption_ == "找回密码") OpenUrl(QString::fromStdString(config.lookupHttp()));
  accept();
}

void PromptBox::OnButton2() {
  result_ = kClosedByButton2;
  accept();
}

void SetPromptHandler(PromptHandler handler) {
  Handler() = std::move(handler);
}

std::uint8_t Prompt(QWidget* parent, const PromptRequest& request) {
  if (Handler()) return Handler()(parent, request);
  PromptBox box(parent);
  box.SetButton1(!request.button1.isEmpty(), request.button1);
  box.SetButton2(!request.button2.isEmpty(), request.button2);
  box.Show(request.caption, request.text, request.alignment);
  return box.result();
}

}  // namespace corvel
