#include "ui/login_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>

#include "app/account_file.h"
#include "app/app_log.h"
#include "app/config.h"
#include "app/window_messages.h"
#include "service/client_requests.h"
#include "service/network_module.h"
#include "ui/busy_strip.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_combo.h"
#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_font.h"
#include "ui/skin/skin_static.h"
#include "ui/soft_keyboard.h"
#include "ui/url_opener.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

constexpr int kWidth = 340;
constexpr int kHeight = 180;
constexpr int kAccountLimit = 50;
constexpr int kPasswordLimit = 15;
const QColor kBody(239, 239, 247);
const QColor kLinkInk(0x1D, 0x5E, 0x96);
const QColor kLinkHover(0x0E, 0x7C, 0x86);
const QColor kInk(0x1F, 0x2D, 0x3D);
const QString kCaption = QStringLiteral("登录提示");

QRect Place(int left, int top, int right, int bottom) {
  return QRect(left, top, right - left, bottom - top);
}

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}
std::string Utf8(const QString& text) {
  return text.toStdString();
}

bool SameAccount(const std::string& a, const std::string& b) {
  return TextBlock(a) == TextBlock(b);
}

SkinButton* MakeLink(QWidget* parent, int id, const QString& caption) {
  auto* link = new SkinButton(parent);
  link->setControlId(id);
  link->setKind(ButtonKind::kTextHighlight);
  link->setFaceColor(kBody);
  link->setTextColor(kLinkInk);
  link->setHighlightColor(kLinkHover);
  link->setText(caption);
  link->setCursor(Qt::PointingHandCursor);
  return link;
}

SkinStatic* MakeLabel(QWidget* parent, const QString& text) {
  auto* label = new SkinStatic(text, parent);
  label->setBackgroundColor(kBody);
  label->setAlignment(SkinStatic::kAlignLeft);
  return label;
}

}  // namespace

LoginWindow::LoginWindow(ClientState& state, QWidget* parent) : SkinDialog(parent), state_(state) {
  setFont(SkinFont(10));
  BuildControls();
}

void LoginWindow::BuildControls() {
  busyStrip_ = new BusyStrip(this);
  busyStrip_->setProperty("controlId", kBusyStripId);
  busyStrip_->hide();

  MakeLabel(this, "帐号:")->setGeometry(Place(20, 70, 70, 92));
  account_ = new SkinCombo(this);
  account_->setControlId(kAccountId);
  account_->setEditable(true);
  account_->setInsertPolicy(QComboBox::NoInsert);
  account_->lineEdit()->setMaxLength(kAccountLimit);
  account_->setGeometry(Place(75, 70, 260, 92));
  account_->view()->setMinimumHeight(100);
  connect(account_, qOverload<int>(&QComboBox::activated), this, &LoginWindow::OnAccountChosen);

  MakeLabel(this, "密码:")->setGeometry(Place(20, 100, 70, 122));
  password_ = new SkinEdit(this);
  password_->setControlId(kPasswordId);
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(kPasswordLimit);
  password_->setGeometry(Place(75, 103, 233, 122));

  auto* keyboard = new SkinButton(this);
  keyboard->setControlId(kKeyboardButtonId);
  keyboard->SetImagesFromResource(144, 22, 22, true);
  keyboard->setGeometry(Place(240, 100, 262, 122));
  connect(keyboard, &QAbstractButton::clicked, this, &LoginWindow::ToggleSoftKeyboard);

  auto* signUp = MakeLink(this, kSignUpId, "申请帐号");
  signUp->setGeometry(Place(265, 70, 328, 92));  // kept inside the frame
  connect(signUp, &QAbstractButton::clicked, this, &LoginWindow::OpenSignUp);
  auto* lookup = MakeLink(this, kLookupId, "找回密码");
  lookup->setGeometry(Place(270, 100, 328, 122));
  connect(lookup, &QAbstractButton::clicked, this, &LoginWindow::OpenLookup);

  remember_ = new SkinButton(this);
  remember_->setControlId(kRememberId);
  remember_->setKind(ButtonKind::kCheckBox);
  remember_->setFaceColor(kBody);
  remember_->setTextColor(kInk);
  remember_->setHighlightColor(kLinkHover);
  remember_->setText("记住密码");
  remember_->setGeometry(Place(25, 140, 95, 162));
  connect(remember_, &QAbstractButton::clicked, this, &LoginWindow::ToggleRemember);

  auto* reset = MakeDialogButton(this, kResetId, "重置(&R)");
  reset->setGeometry(Place(200, 140, 257, 162));
  connect(reset, &QAbstractButton::clicked, this, &LoginWindow::Reset);
  auto* login = MakeDialogButton(this, kLoginId, "登录(&L)");
  login->setGeometry(Place(263, 140, 326, 162));
  connect(login, &QAbstractButton::clicked, this, &LoginWindow::Login);

  // Enter and the Ctrl shortcuts act wherever the focus is inside the window.
  installEventFilter(this);
  for (QWidget* child : findChildren<QWidget*>())
    child->installEventFilter(this);
}

std::string LoginWindow::dataPath() const {
  return state_.programFolder.get() + "data.dat";
}

void LoginWindow::Run() {
  Prepare();
  exec();
}

void LoginWindow::Prepare() {
  setWindowTitle("欢迎使用Corvel");
  resize(kWidth, kHeight);
  busyStrip_->setGeometry(Place(12, 33, width() - 12, 43));
  LoadAccounts();
}

void LoginWindow::LoadAccounts() {
  state_.agentId.set({});
  state_.lastAccount.set({});
  account_->clear();
  password_->clear();
  const std::optional<AccountFileContents> contents = ReadAccountFile(dataPath());
  if (contents) {
    state_.agentId.set(contents->agentId);
    state_.lastAccount.set(contents->lastAccount);
    if (!IsEmptyBlock(contents->agentId)) {
      AppLog(0, "AgentID:%s", BlockText(contents->agentId).c_str());
    }
    if (!IsEmptyBlock(contents->lastAccount)) {
      AppLog(0, "SNameID:%s", BlockText(contents->lastAccount).c_str());
    }
    for (const Block64& listed : contents->listedAccounts)
      account_->addItem(Text(BlockText(listed)));
    state_.savedAccounts.with([&](std::vector<SavedAccount>& saved) {
      for (const SavedAccountBlocks& entry : contents->entries) {
        const std::string name = BlockText(entry.account);
        const bool known = std::any_of(saved.begin(), saved.end(), [&](const SavedAccount& s) {
          return SameAccount(s.account, name);
        });
        if (!known) saved.push_back({name, BlockText(entry.password)});
      }
    });
  }
  const std::string last = BlockText(state_.lastAccount.get());
  if (last.empty()) return;
  account_->setCurrentIndex(account_->findText(Text(last)));
  account_->setEditText(Text(last));
  state_.savedAccounts.with([&](const std::vector<SavedAccount>& saved) {
    for (const SavedAccount& entry : saved) {
      if (SameAccount(entry.account, last)) password_->setText(Text(entry.password));
    }
  });
}

void LoginWindow::WriteAccounts() {
  std::vector<SavedAccountBlocks> entries;
  state_.savedAccounts.with([&](const std::vector<SavedAccount>& saved) {
    for (const SavedAccount& entry : saved) {
      entries.push_back({TextBlock(entry.account), TextBlock(entry.password)});
    }
  });
  WriteAccountFile(dataPath(), state_.agentId.get(), state_.lastAccount.get(), entries);
}

void LoginWindow::ShowLoginBox(const QString& text, const QString& button1) {
  Prompt(this, PromptRequest{kCaption, text, PromptBox::kAlignCentredLine, button1, {}});
}

void LoginWindow::Login() {
  HideSoftKeyboard();
  const std::string account = Utf8(account_->currentText());
  const std::string password = Utf8(password_->text());
  state_.account.set(account);
  state_.password.set(password);
  if (account.empty()) return ShowLoginBox("请输入帐号!");
  if (password.empty()) return ShowLoginBox("请输入密码!");
  if (state_.loginPending) return ShowLoginBox("登录中请稍候!");
  NetworkModule* link = state_.networkModule.load();
  if (link == nullptr) return ShowLoginBox("登录传输失败!");

  const ServicePacket request = LoginRequest(state_.account.get(), state_.password.get());
  state_.loginPending = true;
  busyStrip_->show();
  busyStrip_->Start();
  link->Send(request);
  loginTimer_.start(loginTimeoutMs_, this);

  state_.savedAccounts.with([&](std::vector<SavedAccount>& saved) {
    auto entry = std::find_if(saved.begin(), saved.end(), [&](const SavedAccount& s) {
      return SameAccount(s.account, account);
    });
    if (entry == saved.end()) {
      saved.push_back({account, rememberPassword_ ? password : std::string()});
    } else if (rememberPassword_) {
      entry->password = password;
    }
  });
}

void LoginWindow::StopPending() {
  loginTimer_.stop();
  state_.loginPending = false;
  busyStrip_->Stop();
  busyStrip_->hide();
}

void LoginWindow::OnLoginAnswer(std::uint32_t status) {
  StopPending();
  const std::string account = state_.account.get();
  switch (status) {
    case 0:
    case 1:
      state_.loggedIn = true;
      if (onLoggedIn_) onLoggedIn_();
      state_.lastAccount.set(TextBlock(account));
      WriteAccounts();
      accept();
      return;
    case 2:
      state_.savedAccounts.with([&](std::vector<SavedAccount>& saved) {
        for (SavedAccount& entry : saved) {
          if (SameAccount(entry.account, account)) entry.password.clear();
        }
      });
      return ShowLoginBox("密码不正确!", "找回密码");
    case 3:
      return ShowLoginBox("帐号或密码错误!");
    case 4:
      return ShowLoginBox("帐号余额不足!", "充值");
    case 5:
      return ShowLoginBox("帐号失效或者被封!");
    case 6:
      return ShowLoginBox("该帐号已经登录!");
    case 7:
      return ShowLoginBox("帐号未激活!");
    case 8:
      return ShowLoginBox("未知错误!");
    default:
      return;
  }
}

void LoginWindow::OnLoginTimeout() {
  StopPending();
  if (NetworkModule* link = state_.networkModule.load()) {
    link->Send(LogOffRequest(state_.account.get()));
  }
  ShowLoginBox("登录超时!");
}

void LoginWindow::OnAccountChosen(int index) {
  const std::string chosen = Utf8(account_->itemText(index));
  bool found = false;
  state_.savedAccounts.with([&](const std::vector<SavedAccount>& saved) {
    for (const SavedAccount& entry : saved) {
      if (!SameAccount(entry.account, chosen)) continue;
      password_->setText(Text(entry.password));
      found = true;
    }
  });
  if (!found) {
    password_->clear();
    return;
  }
  password_->setFocus();
  password_->end(false);
}

void LoginWindow::Reset() {
  const std::string account = Utf8(account_->currentText());
  state_.savedAccounts.with([&](std::vector<SavedAccount>& saved) {
    std::erase_if(saved, [&](const SavedAccount& s) { return SameAccount(s.account, account); });
  });
  WriteAccounts();
  account_->setEditText({});
  password_->clear();
}

void LoginWindow::ToggleSoftKeyboard() {
  if (softKeyboard_ != nullptr && softKeyboard_->isVisible()) {
    softKeyboard_->hide();
    return;
  }
  if (softKeyboard_ == nullptr) softKeyboard_ = new SoftKeyboard(this, kPasswordId);
  softKeyboard_->FollowOwner();
  softKeyboard_->show();
}

void LoginWindow::HideSoftKeyboard() {
  if (softKeyboard_ != nullptr) softKeyboard_->hide();
}

void LoginWindow::ToggleRemember() {
  rememberPassword_ = !rememberPassword_;
  remember_->setBoxChecked(rememberPassword_);
}

void LoginWindow::OpenSignUp() {
  std::string address = Config(state_.configPath.get()).registerHttp();
  const std::string agent = BlockText(state_.agentId.get());
  if (!agent.empty()) address += agent;
  OpenUrl(Text(address));
}

void LoginWindow::OpenLookup() {
  OpenUrl(Text(Config(state_.configPath.get()).lookupHttp()));
}

bool LoginWindow::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::Type()) {
    const auto* message = static_cast<WindowMessageEvent*>(event);
    // An answer that arrives after the window closed belongs to nobody here.
    if (message->number() == WM_ACCOUNT_STATUS && isVisible()) OnLoginAnswer(message->wParam());
    return true;
  }
  return SkinDialog::event(event);
}

bool LoginWindow::eventFilter(QObject* watched, QEvent* event) {
  // Keys inside the account list's popup keep their own meaning.
  const auto* widget = qobject_cast<QWidget*>(watched);
  if (event->type() == QEvent::KeyPress && widget != nullptr && widget->window() == this) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = key->modifiers() & Qt::ControlModifier;
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (key->isAutoRepeat() && (enter || ctrl)) return true;
    if (enter || (ctrl && key->key() == Qt::Key_L)) {
      Login();
      return true;
    }
    if (ctrl && key->key() == Qt::Key_R) {
      Reset();
      return true;
    }
  }
  return SkinDialog::eventFilter(watched, event);
}

void LoginWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() == loginTimer_.timerId()) {
    OnLoginTimeout();
    return;
  }
  SkinDialog::timerEvent(event);
}

void LoginWindow::showEvent(QShowEvent* event) {
  open_ = true;
  SkinDialog::showEvent(event);
}

void LoginWindow::hideEvent(QHideEvent* event) {
  // However the window closes, a request still pending is dropped here and nothing is sent.
  // Clearing the pending flag lets the next opening log in again instead of waiting for an
  // answer that may never come.
  StopPending();
  HideSoftKeyboard();
  open_ = false;
  SkinDialog::hideEvent(event);
}

void LoginWindow::moveEvent(QMoveEvent* event) {
  SkinDialog::moveEvent(event);
  if (softKeyboard_ != nullptr) softKeyboard_->FollowOwner();
}

}  // namespace corvel
