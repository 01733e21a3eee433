// A command posted to a window on behalf of one of its controls, as a click on that control
// would be reported: the number box posts command 1026 (call) to its owner on Enter. Owners
// receive it in customEvent().
#pragma once

#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace corvel {

class SkinCommandEvent : public QEvent {
 public:
  SkinCommandEvent(int command, QWidget* control);

  static QEvent::Type eventType();

  int command() const { return command_; }
  // The owner's control with the command's id, or nullptr when it has none (or it is gone).
  QWidget* control() const { return control_.data(); }

 private:
  int command_;
  QPointer<QWidget> control_;
};

}  // namespace corvel
