#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWindow>

#include "app/window_messages.h"
#include "ui/about_box.h"
#include "ui/account_tips.h"
#include "ui/conference_window.h"
#include "ui/key_gate.h"
#include "ui/main_window_layout.h"
#include "ui/phone_controls.h"
#include "ui/report_list.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_command_event.h"
#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_region.h"
#include "ui/status_panel.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

QColor Color(layout::Rgb rgb) {
  return QColor(rgb.red, rgb.green, rgb.blue);
}
QRect Place(layout::Rect rect) {
  return QRect(rect.left, rect.top, rect.width(), rect.height());
}

}  // namespace

MainWindow::MainWindow(ClientState& state, QWidget* parent)
    // A top-level window rather than a dialog: the desktop keeps a dialog transient for another
    // window, and the client's main window is nobody's transient.
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint),
      state_(state),
      phoneLog_(state.programFolder.get()),
      skin_(SkinImage(130)),
      pressedSkin_(SkinImage(129)),
      hoverSkin_(SkinImage(131)) {
  setFont(SkinFont(10));
  setFixedSize(layout::kWindowSize.width, layout::kWindowSize.height);
  setMouseTracking(true);
  BuildControls();
  BuildLists();
  BuildTray();
  BuildAccountTips();
  new KeyGate(*this);
  ShowTab(1002);
  setWindowTitle(QString::fromStdString(ComputeTitle()));
}

MainWindow::~MainWindow() {
  if (tray_ != nullptr) tray_->hide();
  // The phone's threads report to this window: they end before it goes.
  if (ownedPhone_) ownedPhone_->Shutdown();
  phone_ = nullptr;
}

void MainWindow::BuildControls() {
  for (const layout::ControlPlace& place : layout::kMainWindowControls) {
    if (place.kind == layout::Kind::kEdit) {
      numberBox_ = new SkinEdit(this);
      numberBox_->setControlId(place.id);
      numberBox_->setFrame(false);
      numberBox_->setGeometry(Place(layout::kNumberEdit));
      numberBox_->setStyleSheet("background: transparent;");
      numberBox_->setFont(SkinFont(12));
      continue;
    }
    auto* button = new SkinButton(this);
    button->setControlId(place.id);
    button->setGeometry(Place(place.rect));
    if (place.kind == layout::Kind::kLink) {
      button->setKind(ButtonKind::kTextHighlight);
      button->setFaceColor(Color(layout::kPanelBackground));
      button->SetImageSet(skin_.copy(Place(place.rect)), {}, {});
      button->setTextColor(Color(layout::kLinkInk));
      button->setHighlightColor(QColor(0x0E, 0x7C, 0x86));
      button->setCursor(Qt::PointingHandCursor);
    } else {
      // The window sits at its own origin here, so each button's place is its place on the skin.
      button->SetImagesFromSkins(skin_, pressedSkin_, hoverSkin_);
      button->setTextColor(
          Color(place.ink == layout::Ink::kLight ? layout::kCaptionLight : layout::kCaptionDark));
    }
    if (place.caption != nullptr) button->setText(QString::fromUtf8(place.caption));
    const int id = place.id;
    connect(button, &QAbstractButton::clicked, this, [this, id] { Command(id); });
    buttons_[id] = button;
  }
  statusPanel_ = new StatusPanel(this);
  statusPanel_->setGeometry(Place(layout::kContentArea));
  ShowLoggedIn(state_.loggedIn);
}

void MainWindow::BuildTray() {
  trayMenu_ = new QMenu(this);
  const std::pair<int, const char*> items[] = {{1001, "退出"}, {1000, "隐藏"}, {1006, "登录"},
                                               {1009, "会议"}, {0, nullptr},   {1007, "充值"},
                                               {1010, "话单"}};
  for (const auto& [id, text] : items) {
    if (text == nullptr) {
      trayMenu_->addSeparator();
      continue;
    }
    QAction* action = trayMenu_->addAction(QString::fromUtf8(text));
    const int command = id;
    connect(action, &QAction::triggered, this, [this, command] { Command(command); });
    trayActions_[id] = action;
  }
  tray_ = new QSystemTrayIcon(QApplication::windowIcon(), this);
  tray_->setToolTip("Corvel");
  tray_->setContextMenu(trayMenu_);
  connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) ShowFromTray();
  });
  ShowLoggedIn(state_.loggedIn);
}

void MainWindow::ShowFromTray() {
  // Centred on the screen and shown, wherever it was (hidden or slid off an edge).
  move(ScreenArea().center() - rect().center());
  show();
  raise();
  activateWindow();
  hideState_ = HideState::kShown;
  if (trayActions_.count(1000)) trayActions_[1000]->setText("隐藏");
  if (conference_ != nullptr && conference_->isVisible()) {
    conference_->PlaceBesideMainWindow(-ConferenceWindow::kGlueOverlap);
    conference_->setAttached(true);
  }
}

void MainWindow::BuildAccountTips() {
  const QFontMetrics metrics(font());
  std::vector<QRect> lines;
  for (int i = 0; i < 3; ++i) {
    lines.emplace_back(layout::kAccountLinesX, layout::kAccountLineTops[i],
                       layout::kAccountArea.right - layout::kAccountLinesX, metrics.height());
  }
  accountTips_ = new AccountTips(*this, std::move(lines), [this](int line) {
    switch (line) {
      case 0:
        return state_.account.get();
      case 1:
        return state_.sipNumber.get();
      case 2:
        return state_.linkedPhone.get();
      default:
        return std::string();
    }
  });
  accountTips_->setActive(state_.loggedIn);
  if (SkinButton* link = button(1028)) link->installEventFilter(this);
}

SkinButton* MainWindow::button(int id) const {
  const auto found = buttons_.find(id);
  return found == buttons_.end() ? nullptr : found->second;
}

void MainWindow::Run() {
  running_ = true;
  if (edgeArmed_) edgeTimer_.start(kEdgeTimerMs, this);
  OpenPhone();
  titleTimer_.start(kTitleTimerMs, this);
  if (QSystemTrayIcon::isSystemTrayAvailable()) tray_->show();
  show();
  raise();
  activateWindow();
  if (numberBox_ != nullptr) numberBox_->setFocus();
  // Not QDialog::exec(): that makes the window application-modal and ends when it is hidden.
  // This loop ends only when the window is closed.
  QEventLoop loop;
  runLoop_ = &loop;
  if (!closed_) loop.exec();
  runLoop_ = nullptr;
  running_ = false;
  titleTimer_.stop();
  edgeTimer_.stop();
  tray_->hide();
}

void MainWindow::OpenPhone() {
  if (!phoneFactory_ || ownedPhone_) return;
  ownedPhone_ = phoneFactory_(*this);
  phone_ = ownedPhone_.get();
}

std::string MainWindow::ComputeTitle() const {
  TitleState title;
  title.ready = ready_;
  if (phone_ != nullptr && phone()->HasEndpoint() && phone()->HasRtpSession()) {
    title.registCounter = phone()->RegistCounter();
    title.natPending = phone()->NatMode() && !phone()->NatAddressKnown();
  }
  title.callState = statusPanel_ != nullptr ? statusPanel_->callState() : 0;
  title.loggedIn = state_.loggedIn;
  title.hasBalance = state_.hasBalance;
  return MainTitle(title);
}

bool MainWindow::RefreshTitle() {
  const QString title = QString::fromStdString(ComputeTitle());
  if (title == windowTitle()) return false;  // nothing to paint
  setWindowTitle(title);
  update(Place(layout::kTitleText));
  return true;
}

void MainWindow::showEvent(QShowEvent* event) {
  // The title is polled only while someone can see it; shown again, it is brought up to date.
  if (running_ && !titleTimer_.isActive()) {
    RefreshTitle();
    titleTimer_.start(kTitleTimerMs, this);
  }
  QDialog::showEvent(event);
}

void MainWindow::hideEvent(QHideEvent* event) {
  titleTimer_.stop();
  QDialog::hideEvent(event);
}

void MainWindow::SetEdgeArmed(bool armed) {
  edgeArmed_ = armed;
  // The edge is watched only while leaving it would slide the window away.
  if (!armed) {
    edgeTimer_.stop();
  } else if (running_ && !edgeTimer_.isActive()) {
    edgeTimer_.start(kEdgeTimerMs, this);
  }
}

void MainWindow::ShowLoggedIn(bool loggedIn) {
  const QString text = loggedIn ? "注销" : "登录";
  if (SkinButton* logIn = button(kCommandLogInOut)) logIn->setText(text);
  if (trayActions_.count(kCommandLogInOut)) trayActions_[kCommandLogInOut]->setText(text);
  if (accountTips_ != nullptr) accountTips_->setActive(loggedIn);
  update();
}

void MainWindow::ShowTab(int tabId) {
  selectedTab_ = tabId;
  for (int id = 1002; id <= 1005; ++id) {
    if (SkinButton* tab = button(id)) {
      tab->setKind(id == tabId ? ButtonKind::kSelected : ButtonKind::kPlain);
      tab->update();
    }
  }
  if (statusPanel_ != nullptr) statusPanel_->setVisible(tabId == 1002);
  if (addressBook_) addressBook_->setVisible(tabId == 1003);
  if (callRecords_) callRecords_->setVisible(tabId == 1004);
  if (tabId == 1002) PopIncomingCall();
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::Type()) {
    const auto* message = static_cast<WindowMessageEvent*>(event);
    if (message->number() == WindowMessageEvent::kCommandMessage) {
      Command(static_cast<int>(message->wParam()));
    } else {
      OnWindowMessage(message->number(), message->wParam());
    }
    if (running_ && !isVisible()) {
      // Hidden, the title is not polled; what comes in may change it, and what follows.
      RefreshTitle();
      if (!titleTimer_.isActive()) titleTimer_.start(kTitleTimerMs, this);
    }
    return true;
  }
  return QDialog::event(event);
}

void MainWindow::customEvent(QEvent* event) {
  // Enter in the number box arrives as the call command.
  if (event->type() == SkinCommandEvent::eventType()) {
    Command(static_cast<SkinCommandEvent*>(event)->command());
    return;
  }
  QDialog::customEvent(event);
}

void MainWindow::OnWindowMessage(int number, std::uint32_t wParam) {
  switch (number) {
    case WM_SIP_REGISTERED:
      if (phone_ == nullptr || !phone()->HasEndpoint() || !phone()->HasRtpSession()) return;
      ready_ = wParam == 1 && (!phone()->NatMode() || phone()->NatAddressKnown());
      return;
    case WM_NAT_READY:
      if (phone_ != nullptr && phone()->HasEndpoint() && phone()->HasRtpSession() &&
          phone()->RegistCounter() > 0) {
        ready_ = true;
      }
      return;
    case WM_ACCOUNT_STATUS:
      if (wParam == 6) Prompt("提示", "帐号已被注销!");
      return;
    case WM_CALL_REJECTED:
      if (wParam == 0) Prompt("提示", "呼叫受限!");
      if (wParam == 1) Prompt("提示", "未知错误!");
      if (wParam == 2) Prompt("提示", "余额不足!", "充值");
      return;
    case WM_SERVICE_STOPPED:
      if (wParam == 0) Prompt("提示", "余额不足!", "充值");
      if (wParam == 1) Prompt("提示", "网络故障!");
      return;
    case WM_LEVEL_METER:
      return;
    default:
      return;
  }
}

void MainWindow::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.fillRect(rect(), Color(layout::kWindowBackground));
  if (!skin_.isNull()) painter.drawPixmap(0, 0, skin_);
  painter.setFont(SkinFont(12));
  painter.setPen(Color(layout::kTitleInk));
  painter.drawText(Place(layout::kTitleText), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   windowTitle());
  if (!state_.loggedIn) return;
  painter.setFont(font());
  painter.setPen(Color(layout::kAccountInk));
  const std::string linked = state_.linkedPhone.get();
  const QString lines[] = {
      QString("登录帐号:%1").arg(QString::fromStdString(state_.account.get())),
      QString("Corvel号码:%1").arg(QString::fromStdString(state_.sipNumber.get())),
      linked.empty() ? QString("关联电话:未填写")
                     : QString("关联电话:%1").arg(QString::fromStdString(linked)),
      QString("话费余额:%1").arg(QString::fromStdString(state_.balance.get())),
  };
  const QFontMetrics metrics(font());
  for (int i = 0; i < 4; ++i) {
    const QRect line(layout::kAccountLinesX, layout::kAccountLineTops[i],
                     layout::kAccountArea.right - layout::kAccountLinesX, metrics.height());
    painter.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     metrics.elidedText(lines[i], Qt::ElideRight, line.width()));
  }
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  setMask(RoundRectRegion(width(), height(), layout::kCornerMask, layout::kCornerMask));
  QDialog::resizeEvent(event);
}

// A left press anywhere on the window's surface, or on a child that leaves the press to it (the
// status panel), moves the window.
void MainWindow::mousePressEvent(QMouseEvent* event) {
  QDialog::mousePressEvent(event);
  if (event->button() != Qt::LeftButton) return;
  event->accept();
  drag_.Press(*this, event->globalPosition().toPoint());
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  QDialog::mouseMoveEvent(event);
  drag_.Move(*this, event->globalPosition().toPoint(), event->buttons().testFlag(Qt::LeftButton));
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  QDialog::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton) drag_.Release();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == button(1028) && DragFromLink(event)) return true;
  return QDialog::eventFilter(watched, event);
}

// The link is text on the window's bottom edge, where people take hold of the window: a press
// on it that moves away before the release moves the window instead of opening the page.
bool MainWindow::DragFromLink(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
      type != QEvent::MouseButtonRelease) {
    return false;
  }
  const auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint at = mouse->globalPosition().toPoint();
  if (type == QEvent::MouseButtonPress) {
    if (mouse->button() == Qt::LeftButton) linkPress_ = at;
    linkDragging_ = false;
    return false;
  }
  if (type == QEvent::MouseButtonRelease) {
    // The button sees its release, but no longer held down it opens nothing.
    if (mouse->button() == Qt::LeftButton) {
      linkPress_.reset();
      linkDragging_ = false;
      drag_.Release();
    }
    return false;
  }
  if (!linkPress_ || !mouse->buttons().testFlag(Qt::LeftButton)) return false;
  if (!linkDragging_) {
    if ((at - *linkPress_).manhattanLength() < QApplication::startDragDistance()) return false;
    linkDragging_ = true;
    button(1028)->setDown(false);
    drag_.PressByHand(*this, *linkPress_);
  }
  drag_.Move(*this, at, true);
  return true;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Enter and Escape never close the window.
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  // A caption-less window has no window menu of the desktop's; its title bar offers the item.
  if (event->pos().y() >= layout::kTitleLineY) return QDialog::contextMenuEvent(event);
  QMenu menu(this);
  QAction* about = menu.addAction("关于 Corvel(&A)...");
  if (menu.exec(event->globalPos()) == about) ShowAbout();
}

void MainWindow::ShowAbout() {
  AboutBox box(this);
  box.exec();
}

void MainWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() == titleTimer_.timerId()) {
    // Hidden, the polling lasts while the title changes (a message starts it again).
    if (!RefreshTitle() && !isVisible()) titleTimer_.stop();
  } else if (event->timerId() == edgeTimer_.timerId()) {
    if (edgeArmed_ && !frameGeometry().contains(QCursor::pos())) {
      SetEdgeArmed(false);
      SlideAway();
    }
  } else {
    QDialog::timerEvent(event);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closed_) return event->accept();
  SaveAddressBook();
  if (phone_ != nullptr) phone()->Shutdown();
  if (conference_ != nullptr) conference_->hide();
  // A hidden window is closed too (the exit command from the tray menu): the run ends either way.
  event->accept();
  closed_ = true;
  if (runLoop_ != nullptr) runLoop_->quit();
}

}  // namespace corvel
