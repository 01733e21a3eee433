// Integer control ids, as the windows and their owners know the controls by number (the close
// button is 1025, the number box 1013, ...). Stored as the widget's "controlId" property so that
// any widget can carry one.
#pragma once

class QWidget;

namespace corvel {

void SetControlId(QWidget& control, int id);
// 0 when the widget has no id.
int ControlId(const QWidget& control);
// The direct child of parent with that id, or nullptr (also when parent is nullptr).
QWidget* FindControl(const QWidget* parent, int id);

}  // namespace corvel
