#include "ui/skin/skin_command_event.h"

namespace corvel {

SkinCommandEvent::SkinCommandEvent(int command, QWidget* control)
    : QEvent(eventType()), command_(command), control_(control) {}

QEvent::Type SkinCommandEvent::eventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

}  // namespace corvel
