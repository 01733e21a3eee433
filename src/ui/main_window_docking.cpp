// Edge docking: a window dropped at the top or right edge of the screen slides out of sight when
// the mouse leaves it, leaving 5 pixels to bring it back.
#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QScreen>

#include "ui/conference_window.h"
#include "ui/main_window.h"

namespace corvel {
namespace {

constexpr int kArmDistance = 10;
constexpr int kSlideDistance = 9;
constexpr int kVisibleStrip = 5;
constexpr int kPullBack = 30;

}  // namespace

QRect MainWindow::ScreenArea() const {
  QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->geometry() : QRect(0, 0, 1280, 800);
}

void MainWindow::UpdateEdgeArming() {
  const QRect area = ScreenArea();
  const QRect frame = frameGeometry();
  const bool atTop = frame.top() <= kArmDistance;
  const bool atRight = frame.right() + 1 > area.right() + 1 - kArmDistance;
  SetEdgeArmed(atTop || atRight);
}

void MainWindow::moveEvent(QMoveEvent* event) {
  // A move the user makes by dragging arms or disarms the docking; the slides do not.
  if (hideState_ != HideState::kSlid) UpdateEdgeArming();
  FollowWithConference();
  QDialog::moveEvent(event);
}

void MainWindow::SlideAway() {
  if (frameGeometry().contains(QCursor::pos())) return;
  // Out of sight with the main window, rather than left behind where it no longer belongs.
  if (conference_ != nullptr && conference_->attached()) conference_->hide();
  const QRect area = ScreenArea();
  QRect frame = frameGeometry();
  if (frame.top() <= kSlideDistance) {
    int x = frame.left();
    const int overhang = frame.right() + 1 - (area.right() + 1);
    if (overhang > 0) x -= overhang + kPullBack;
    hideState_ = HideState::kSlid;
    move(x, kVisibleStrip - frame.height());
  } else if (area.right() + 1 - (frame.right() + 1) <= kSlideDistance) {
    int y = frame.top();
    const QRect work = screen() != nullptr ? screen()->availableGeometry() : area;
    if (y + frame.height() > work.bottom() + 1) y = work.bottom() + 1 - frame.height();
    hideState_ = HideState::kSlid;
    move(area.right() + 1 - kVisibleStrip, y);
  } else {
    SetEdgeArmed(false);
  }
}

void MainWindow::SlideBack() {
  const QRect area = ScreenArea();
  const QRect frame = frameGeometry();
  if (frame.bottom() + 1 <= kSlideDistance) {
    move(frame.left(), 0);
  } else if (area.right() + 1 - frame.left() <= kSlideDistance) {
    move(area.right() + 1 - frame.width(), frame.top());
  }
  SetEdgeArmed(true);
  hideState_ = HideState::kShown;
}

void MainWindow::enterEvent(QEnterEvent* event) {
  if (hideState_ == HideState::kSlid) SlideBack();
  QDialog::enterEvent(event);
}

void MainWindow::leaveEvent(QEvent* event) {
  if (edgeArmed_) SlideAway();
  QDialog::leaveEvent(event);
}

}  // namespace corvel
