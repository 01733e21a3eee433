// Runs the Qt event loop of a test for a while, or until something has happened, so that posted
// and queued work is handled as the application's own loop would handle it.
#pragma once

#include <QApplication>
#include <chrono>

namespace corvel::testing {

inline void Pump(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
}

// True as soon as done() holds; false when it still does not after timeoutMs.
template <typename Done>
bool PumpUntil(Done done, int timeoutMs = 5000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

}  // namespace corvel::testing
