// The main window's side of the conference window: opening and hiding it, placing it beside the
// main window or, where the main window is out of the way, in the middle of the screen, and
// taking it along on the main window's moves.
#include "ui/conference_window.h"
#include "ui/main_window.h"
#include "ui/skin/skin_edit.h"

namespace corvel {
namespace {

constexpr int kTopDistance = 10;
constexpr int kRightRoom = 200;

}  // namespace

void MainWindow::ToggleConference() {
  if (conference_ == nullptr) {
    conference_ = new ConferenceWindow(state_, *statusPanel_, *this);
    hasConference_ = true;
  } else if (conference_->isVisible()) {
    conference_->hide();
    return;
  }
  const QRect area = ScreenArea();
  const QRect frame = frameGeometry();
  if (!isVisible() || edgeArmed_ || hideState_ == HideState::kSlid) {
    const bool atTop = isVisible() && frame.top() <= kTopDistance;
    if (atTop && area.right() - frame.right() > kTopDistance) {
      conference_->move(frame.left() + frame.width() - ConferenceWindow::kGlueOverlap, 0);
    } else {
      conference_->move(area.center() - conference_->rect().center());
    }
    conference_->setAttached(false);
  } else {
    conference_->PlaceBesideMainWindow(-ConferenceWindow::kGlueOverlap);
    conference_->setAttached(true);
  }
  conference_->show();
  conference_->raise();
  conference_->activateWindow();
  conference_->numberBox()->setFocus();
}

void MainWindow::AddToConference(const std::string& number) {
  if (number.empty()) return;
  if (conference_ == nullptr) ToggleConference();
  if (!conference_->isVisible()) ToggleConference();
  conference_->numberBox()->setText(QString::fromStdString(number));
  conference_->Command(ConferenceWindow::kAddId);
}

void MainWindow::FollowWithConference() {
  if (conference_ == nullptr || !conference_->attached()) return;
  const QRect area = ScreenArea();
  const QRect frame = frameGeometry();
  // Near the top or the right edge the main window is about to dock; the conference window
  // would then be pulled off the screen with it, so it stays where it is.
  if (frame.top() <= kTopDistance || area.right() - frame.right() <= kRightRoom) {
    conference_->setAttached(false);
    return;
  }
  conference_->PlaceBesideMainWindow(-ConferenceWindow::kGlueOverlap);
}

}  // namespace corvel
