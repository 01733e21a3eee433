#include "ui/skin/skin_edit.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include "ui/skin/skin_command_event.h"
#include "ui/skin/skin_control_id.h"

namespace corvel {

SkinEdit::SkinEdit(QWidget* parent) : QLineEdit(parent) {}

void SkinEdit::setControlId(int id) {
  SetControlId(*this, id);
}

int SkinEdit::controlId() const {
  return ControlId(*this);
}

int SkinEdit::CenterTextVertically(bool useFormattingRect) {
  const QMargins margins = textMargins();
  int offset = 0;
  if (useFormattingRect) {
    offset = (margins.top() + margins.bottom()) / 2;
  } else {
    const int textHeight = fontMetrics().boundingRect(QStringLiteral("Test测试")).height();
    // The text area is what the frame leaves, as the client area is on a bordered edit.
    QStyleOptionFrame option;
    initStyleOption(&option);
    const int areaHeight =
        style()->subElementRect(QStyle::SE_LineEditContents, &option, this).height();
    offset = (areaHeight - textHeight) / 2;
  }
  // The line is laid out from the top of the text area, which the top margin moves down.
  setAlignment((alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
  setTextMargins(margins.left(), offset, margins.right(), 0);
  return 1;
}

void SkinEdit::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
  if (controlId() != kNumberBoxId) return;
  emit callRequested();
  if (QWidget* owner = parentWidget()) {
    QCoreApplication::postEvent(
        owner, new SkinCommandEvent(kCallCommand, FindControl(owner, kCallCommand)));
  }
}

}  // namespace corvel
