#include "ui/window_message.h"

#include <QCoreApplication>

namespace corvel {

QEvent::Type WindowMessageEvent::Type() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostWindowMessage(QObject* target, int number, std::uint32_t wParam, std::intptr_t lParam) {
  if (target == nullptr) return;
  QCoreApplication::postEvent(target, new WindowMessageEvent(number, wParam, lParam));
}

void PostCommand(QObject* target, int command) {
  PostWindowMessage(target, WindowMessageEvent::kCommandMessage,
                    static_cast<std::uint32_t>(command));
}

}  // namespace corvel
