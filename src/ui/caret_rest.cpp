#include "ui/caret_rest.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTimerEvent>

namespace corvel {

CaretRest::CaretRest(QObject* parent, int restAfterMs)
    : QObject(parent),
      flashMs_(QGuiApplication::styleHints()->cursorFlashTime()),
      restAfterMs_(restAfterMs) {
  if (QCoreApplication* application = QCoreApplication::instance()) {
    application->installEventFilter(this);
  }
  if (flashMs_ > 0) idle_.start(restAfterMs_, this);
}

CaretRest::~CaretRest() {
  Wake();
}

bool CaretRest::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::InputMethod:
    case QEvent::Wheel:
      // Each event passes the filter once per receiver it is offered to: restarting the timer
      // is all that happens here.
      Wake();
      if (flashMs_ > 0) idle_.start(restAfterMs_, this);
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void CaretRest::timerEvent(QTimerEvent* event) {
  if (event->timerId() != idle_.timerId()) return QObject::timerEvent(event);
  idle_.stop();
  Rest();
}

void CaretRest::Rest() {
  if (resting_ || flashMs_ <= 0) return;
  resting_ = true;
  QGuiApplication::styleHints()->setCursorFlashTime(0);  // a steady caret
}

void CaretRest::Wake() {
  if (!resting_) return;
  resting_ = false;
  QGuiApplication::styleHints()->setCursorFlashTime(flashMs_);
}

}  // namespace corvel
