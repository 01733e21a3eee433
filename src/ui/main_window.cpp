#include "ui/main_window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include "app/window_messages.h"
#include "service/client_requests.h"
#include "service/network_module.h"
#include "ui/main_window_layout.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_images.h"
#include "ui/skin/skin_region.h"
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
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint),
      state_(state),
      skin_(SkinImage(130)),
      pressedSkin_(SkinImage(129)),
      hoverSkin_(SkinImage(131)) {
  setFont(SkinFont(10));
  setFixedSize(layout::kWindowSize.width, layout::kWindowSize.height);
  BuildControls();
  setWindowTitle(QString::fromStdString(ComputeTitle()));
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
    if (place.kind != layout::Kind::kButton) continue;
    auto* button = new SkinButton(this);
    button->setControlId(place.id);
    button->setGeometry(Place(place.rect));
    // The window sits at its own origin here, so each button's place is its place on the skin.
    button->SetImagesFromSkins(skin_, pressedSkin_, hoverSkin_);
    if (place.caption != nullptr) button->setText(QString::fromUtf8(place.caption));
    button->setTextColor(
        Color(place.ink == layout::Ink::kLight ? layout::kCaptionLight : layout::kCaptionDark));
    buttons_[place.id] = button;
  }
  connect(button(1001), &QAbstractButton::clicked, this, &MainWindow::Exit);
  connect(button(1000), &QAbstractButton::clicked, this, &QWidget::showMinimized);
  connect(button(kCommandLogInOut), &QAbstractButton::clicked, this, &MainWindow::LogInOut);
  ShowLoggedIn(state_.loggedIn);
}

SkinButton* MainWindow::button(int id) const {
  const auto found = buttons_.find(id);
  return found == buttons_.end() ? nullptr : found->second;
}

void MainWindow::Run() {
  titleTimer_.start(kTitleTimerMs, this);
  if (numberBox_ != nullptr) numberBox_->setFocus();
  exec();
  titleTimer_.stop();
}

std::string MainWindow::ComputeTitle() const {
  TitleState title;
  title.loggedIn = state_.loggedIn;
  title.hasBalance = state_.hasBalance;
  return MainTitle(title);
}

void MainWindow::RefreshTitle() {
  setWindowTitle(QString::fromStdString(ComputeTitle()));
  update(Place(layout::kTitleText));
}

void MainWindow::ShowLoggedIn(bool loggedIn) {
  if (SkinButton* logIn = button(kCommandLogInOut)) logIn->setText(loggedIn ? "注销" : "登录");
  update();
}

void MainWindow::Exit() {
  const std::uint8_t answer =
      Prompt(this, PromptRequest{"确认", "确定退出", PromptBox::kAlignCentredLine, "确定", "取消"});
  if (answer == PromptBox::kClosedByButton1) close();
}

void MainWindow::LogInOut() {
  if (state_.loggedIn) {
    if (NetworkModule* link = state_.networkModule.load()) {
      link->Send(LogOffRequest(state_.account.get()));
    }
    state_.loggedIn = false;
    ShowLoggedIn(false);
    RefreshTitle();
    return;
  }
  if (runLogin_) runLogin_();
  ShowLoggedIn(state_.loggedIn);
  RefreshTitle();
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::Type()) {
    const auto* message = static_cast<WindowMessageEvent*>(event);
    if (message->number() == WindowMessageEvent::kCommandMessage &&
        message->wParam() == kCommandLogInOut) {
      LogInOut();
    }
    if (message->number() == WM_ACCOUNT_STATUS && message->wParam() == 6) {
      Prompt(this, PromptRequest{"提示", "帐号已被注销!"});
    }
    return true;
  }
  return QDialog::event(event);
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

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
    windowHandle()->startSystemMove();
  }
  QDialog::mousePressEvent(event);
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

void MainWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() == titleTimer_.timerId()) {
    RefreshTitle();
    return;
  }
  QDialog::timerEvent(event);
}

}  // namespace corvel
