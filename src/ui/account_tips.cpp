#include "ui/account_tips.h"

#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QTimerEvent>

#include "ui/skin/skin_font.h"

namespace corvel {
namespace {

// Below and right of the pointer, as the desktop's own tooltips sit.
const QPoint kOffsetFromPointer(2, 20);

}  // namespace

AccountTips::AccountTips(QWidget& host, std::vector<QRect> lines, TextOf textOf)
    : QObject(&host),
      host_(host),
      lines_(std::move(lines)),
      textOf_(std::move(textOf)),
      // Transparent for input: when the pointer moves down onto the next line, the tip under it
      // must not take the pointer from the window.
      label_(std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::WindowTransparentForInput)) {
  label_->setFont(SkinFont(10));
  label_->setStyleSheet(
      "QLabel { color: rgb(0, 0, 255); background: white; border: 1px solid rgb(118, 118, 118);"
      " padding: 1px 3px; }");
  label_->setTextFormat(Qt::PlainText);
  host_.installEventFilter(this);
}

AccountTips::~AccountTips() = default;

void AccountTips::setActive(bool active) {
  active_ = active;
  if (!active_) Hide();
}

int AccountTips::LineAt(const QPoint& pos) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].contains(pos)) return static_cast<int>(i);
  }
  return -1;
}

bool AccountTips::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &host_) {
    switch (event->type()) {
      case QEvent::MouseMove: {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() == Qt::NoButton) {
          Track(move->position().toPoint());
        } else {
          Hide();
        }
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::Leave:
      case QEvent::Hide:
      case QEvent::WindowDeactivate:
        Hide();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

void AccountTips::Track(const QPoint& pos) {
  const int line = active_ ? LineAt(pos) : -1;
  if (line < 0) {
    Hide();
    return;
  }
  if (line == shownLine_ || line == pendingLine_) return;
  if (shownLine_ >= 0) {
    // Moving from one line to the next shows the next at once, as tooltips do.
    Show(line);
    return;
  }
  pendingLine_ = line;
  delay_.start(kDelayMs, this);
}

void AccountTips::timerEvent(QTimerEvent* event) {
  if (event->timerId() == delay_.timerId()) {
    delay_.stop();
    const int line = pendingLine_;
    pendingLine_ = -1;
    // The pointer must still rest on the line it stopped on.
    if (active_ && host_.isVisible() && LineAt(host_.mapFromGlobal(QCursor::pos())) == line) {
      Show(line);
    }
  } else if (event->timerId() == watch_.timerId()) {
    // The window hears no move once the pointer is over one of its children (the status panel
    // under the lines), so the tip looks for itself whether the pointer is still on its line.
    const int line = host_.isVisible() ? LineAt(host_.mapFromGlobal(QCursor::pos())) : -1;
    if (line < 0) {
      Hide();
    } else if (line != shownLine_) {
      Show(line);
    }
  } else if (event->timerId() == shownTimer_.timerId()) {
    Hide();
  } else {
    QObject::timerEvent(event);
  }
}

void AccountTips::Show(int line) {
  pendingLine_ = -1;
  delay_.stop();
  const QString text = QString::fromStdString(textOf_ ? textOf_(line) : std::string());
  if (text.isEmpty()) {
    Hide();
    return;
  }
  label_->setText(text);
  // The tip's window carries its text as its name too, so tools that list windows can read it.
  label_->setWindowTitle(text);
  label_->adjustSize();
  QPoint at = QCursor::pos() + kOffsetFromPointer;
  if (QScreen* screen = host_.screen()) {
    const QRect area = screen->availableGeometry();
    at.setX(
        std::clamp(at.x(), area.left(), std::max(area.left(), area.right() + 1 - label_->width())));
    if (at.y() + label_->height() > area.bottom() + 1)
      at.setY(QCursor::pos().y() - label_->height() - 4);
  }
  label_->move(at);
  label_->show();
  label_->raise();
  shownLine_ = line;
  shownTimer_.start(kShownMs, this);
  watch_.start(kWatchMs, this);
}

void AccountTips::Hide() {
  delay_.stop();
  shownTimer_.stop();
  watch_.stop();
  pendingLine_ = -1;
  shownLine_ = -1;
  if (label_->isVisible()) label_->hide();
}

}  // namespace corvel
