#include "ui/conference_window.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QResizeEvent>

#include "app/format.h"
#include "app/window_messages.h"
#include "media/toolkit/tick.h"
#include "service/client_requests.h"
#include "service/network_module.h"
#include "store/conference_commands.h"
#include "store/list_fill.h"
#include "ui/dial_rules.h"
#include "ui/prompt_box.h"
#include "ui/report_list.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_edit.h"
#include "ui/skin/skin_font.h"
#include "ui/status_panel.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

constexpr int kMargin = 15;
constexpr int kNumberBoxTop = 40;
constexpr int kNumberBoxWidth = 150;
constexpr int kRowHeight = 20;
constexpr int kButtonWidth = 60;
constexpr int kButtonGap = 10;
constexpr int kListTop = 65;
constexpr int kInitialColumnWidth = 10;
constexpr int kNumberColumn = 0;
constexpr int kSessionColumn = 1;
const char* const kSpeaking = "允许发言";

}  // namespace

ConferenceWindow::ConferenceWindow(ClientState& state, StatusPanel& statusPanel,
                                   QWidget& mainWindow)
    : SkinDialog(&mainWindow), state_(state), statusPanel_(statusPanel), mainWindow_(mainWindow) {
  setFont(SkinFont(10));
  numberBox_ = new SkinEdit(this);
  numberBox_->setControlId(kNumberBoxId);
  numberBox_->setFont(SkinFont(12));
  numberBox_->installEventFilter(this);
  addButton_ = MakeDialogButton(this, kAddId, "呼叫");
  endButton_ = MakeDialogButton(this, kEndId, "结束会议");
  connect(addButton_, &QAbstractButton::clicked, this, [this] { Command(kAddId); });
  connect(endButton_, &QAbstractButton::clicked, this, [this] { Command(kEndId); });

  members_ = new ReportList(ReportList::kConferenceMembersId, this);
  for (const char* title : {"电话号码", "会话标识", "呼叫时间", "通话状态", "发言状态"})
    members_->AddColumn(-1, title, kInitialColumnWidth);
  AutoSizeColumns(members_);
  members_->setStoreCommand([this](int command) { MemberCommand(command); });
  members_->setGeometry(kMargin, 70, kWidth - 2 * kMargin, kHeight - 70 - kMargin);

  resize(kWidth, kHeight);
}

SkinButton* ConferenceWindow::button(int id) const {
  if (id == kAddId) return addButton_;
  if (id == kEndId) return endButton_;
  return nullptr;
}

void ConferenceWindow::Command(int id) {
  if (id == kAddId) AddCommand();
  if (id == kEndId) EndConference();
}

bool ConferenceWindow::event(QEvent* event) {
  if (event->type() == WindowMessageEvent::Type()) {
    const auto* message = static_cast<WindowMessageEvent*>(event);
    if (message->number() == WindowMessageEvent::kCommandMessage) {
      Command(static_cast<int>(message->wParam()));
    }
    return true;
  }
  return SkinDialog::event(event);
}

bool ConferenceWindow::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the number box calls the number, as the button beside it does.
  if (watched == numberBox_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      Command(kAddId);
      return true;
    }
  }
  return SkinDialog::eventFilter(watched, event);
}

void ConferenceWindow::Prompt(const char* text) {
  corvel::Prompt(this, PromptRequest("呼叫提示", QString::fromUtf8(text)));
}

bool ConferenceWindow::LinkUp() const {
  return state_.networkModule.load() != nullptr;
}

void ConferenceWindow::Send(const ServicePacket& packet) {
  if (NetworkModule* link = state_.networkModule.load()) link->Send(packet);
}

void ConferenceWindow::AddCommand() {
  DialContext context;
  context.loggedIn = state_.loggedIn;
  context.hasBalance = state_.hasBalance;
  context.sipNumber = state_.sipNumber.get();
  const std::string number = numberBox_->text().toStdString();
  const std::string refusal = CheckConferenceMember(context, number);
  if (!refusal.empty()) return Prompt(refusal.c_str());
  numberBox_->clear();
  if (conferenceCode_.empty() && LinkUp()) {
    conferenceCode_ = ConferenceId(TickCount(), state_.networkModule.load()->clientId());
    setWindowTitle(QString::fromStdString(conferenceCode_));
  }
  if (statusPanel_.callState() != 0) return Prompt("呼叫中，请稍后!");
  if (!LinkUp() || !state_.loggedIn) return;
  // The panel shows the call-back before the request leaves, as for the main window's
  // call-backs: an answer quicker than this thread must find it.
  statusPanel_.StartCallback(number);
  Send(CallbackRequest(state_.account.get(), number, CallbackKind::kConference, conferenceCode_));
  PostCommand(&mainWindow_, kCommandShowStatusTab);
}

void ConferenceWindow::EndConference() {
  for (int row = 0; row < members_->rowCount() && LinkUp(); ++row) {
    const std::string session = members_->cellText(row, kSessionColumn);
    ServicePacket packet = ConferenceMemberRequest(ConferenceOp::kEnd,
                                                   members_->cellText(row, kNumberColumn), session);
    packet.receiver = MemberReceiver(session);
    Send(packet);
  }
  members_->DeleteAllRows();
}

void ConferenceWindow::AddMember(const StatusPanel& panel) {
  const int row = members_->InsertRow(members_->rowCount());
  members_->SetCellText(row, 0, panel.number());
  members_->SetCellText(row, 1, Format("%d", static_cast<int>(panel.identify())));
  members_->SetCellText(row, 2, panel.startTime());
  members_->SetCellText(row, 3, panel.statusText());
  members_->SetCellText(row, 4, std::string(kSpeaking));
  AutoSizeColumns(members_);
}

bool ConferenceWindow::RemoveMember(const std::string& number, std::uint32_t sessionNumber) {
  if (number.empty() && sessionNumber == 0) return false;
  for (int row = 0; row < members_->rowCount(); ++row) {
    const bool sameNumber = !number.empty() && members_->cellText(row, kNumberColumn) == number;
    const bool sameSession = sessionNumber != 0 && MemberReceiver(members_->cellText(
                                                       row, kSessionColumn)) == sessionNumber;
    if (sameNumber || sameSession) {
      members_->DeleteRow(row);
      return true;
    }
  }
  return false;
}

void ConferenceWindow::MemberCommand(int id) {
  if (!LinkUp()) return;
  RunConferenceMemberCommand(id, *members_, state_.account.get(),
                             [this](const ServicePacket& packet) { Send(packet); });
}

void ConferenceWindow::PlaceBesideMainWindow(int gap) {
  const QRect main = mainWindow_.frameGeometry();
  move(main.left() + main.width() + gap, main.top());
}

void ConferenceWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  SkinDialog::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  // Fixed, it is glued over the main window's edge; free again, it keeps a small gap so that it
  // can be taken away. Either way it sits beside the main window and moves with it.
  setDragEnabled(!dragEnabled());
  PlaceBesideMainWindow(dragEnabled() ? kGlueOverlap : -kGlueOverlap);
  attached_ = true;
}

void ConferenceWindow::resizeEvent(QResizeEvent* event) {
  SkinDialog::resizeEvent(event);
  const QSize size = event->size();
  numberBox_->setGeometry(kMargin, kNumberBoxTop, kNumberBoxWidth, kRowHeight);
  const int addLeft = kMargin + kNumberBoxWidth + kButtonGap;
  addButton_->setGeometry(addLeft, kNumberBoxTop, kButtonWidth, kRowHeight);
  endButton_->setGeometry(addLeft + kButtonWidth + kButtonGap, kNumberBoxTop, kButtonWidth,
                          kRowHeight);
  members_->setGeometry(kMargin, kListTop, size.width() - 2 * kMargin,
                        size.height() - kListTop - kMargin);
}

}  // namespace corvel
