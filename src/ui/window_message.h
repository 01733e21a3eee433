// A numbered window message (or command) carried to a window as a posted Qt event: the only way
// other threads reach a window.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>

namespace corvel {

class WindowMessageEvent : public QEvent {
 public:
  // number: a WindowMessage, or kCommandMessage with the command id in wParam.
  WindowMessageEvent(int number, std::uint32_t wParam, std::intptr_t lParam)
      : QEvent(Type()), number_(number), wParam_(wParam), lParam_(lParam) {}

  static QEvent::Type Type();
  // The number of a posted command (WM_COMMAND); wParam holds the command id.
  static constexpr int kCommandMessage = 0x0111;

  int number() const { return number_; }
  std::uint32_t wParam() const { return wParam_; }
  std::intptr_t lParam() const { return lParam_; }

 private:
  int number_;
  std::uint32_t wParam_;
  std::intptr_t lParam_;
};

// Posts the message to target's thread; safe from any thread while target is alive.
void PostWindowMessage(QObject* target, int number, std::uint32_t wParam = 0,
                       std::intptr_t lParam = 0);
void PostCommand(QObject* target, int command);

}  // namespace corvel
