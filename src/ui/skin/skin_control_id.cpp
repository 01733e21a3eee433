#include "ui/skin/skin_control_id.h"

#include <QVariant>
#include <QWidget>

namespace corvel {
namespace {

constexpr const char* kProperty = "controlId";

}  // namespace

void SetControlId(QWidget& control, int id) {
  control.setProperty(kProperty, id);
}

int ControlId(const QWidget& control) {
  return control.property(kProperty).toInt();
}

QWidget* FindControl(const QWidget* parent, int id) {
  if (parent == nullptr) return nullptr;
  const auto children = parent->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  for (QWidget* child : children) {
    if (ControlId(*child) == id) return child;
  }
  return nullptr;
}

}  // namespace corvel
