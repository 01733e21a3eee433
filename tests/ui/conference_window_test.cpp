#include "ui/conference_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <regex>

#include "app/window_messages.h"
#include "service/buss_thread.h"
#include "service/client_requests.h"
#include "service/link_fixture.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "support/qt_pump.h"
#include "ui/login_window.h"
#include "ui/main_window.h"
#include "ui/prompt_box.h"
#include "ui/report_list.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_edit.h"
#include "ui/status_panel.h"
#include "ui/ui_peers.h"

namespace corvel {
namespace {

constexpr std::uint32_t kClientId = 0x1001;

using testing::Pump;
using testing::PumpUntil;

class ConferenceWindowTest : public testing::LinkFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartModule());
    module->setClientId(kClientId);
    state.programFolder.set(folder.path());
    state.configPath.set(folder / "CorvelConfig.ini");
    state.account.set("demo");
    state.sipNumber.set("80001001");
    state.loggedIn = true;
    state.hasBalance = true;
    SetPromptHandler([this](QWidget*, const PromptRequest& request) {
      boxes.push_back(request.caption.toStdString() + " " + request.text.toStdString());
      return std::uint8_t{0};
    });
    window = std::make_unique<MainWindow>(state);
    window->move(100, 100);
    window->show();
  }
  void TearDown() override {
    window.reset();
    SetPromptHandler({});
    LinkFixture::TearDown();
  }

  void MoveMain(int x, int y) {
    window->move(x, y);
    Pump(20);
  }

  ConferenceWindow& Open() {
    window->Command(kCommandConference);
    EXPECT_NE(window->conferenceWindow(), nullptr);
    return *window->conferenceWindow();
  }

  // Types a number into the conference window and clicks 呼叫; returns the request, if any.
  std::optional<ServicePacket> Add(const std::string& number, int waitMs = 1000) {
    ConferenceWindow& conference = *window->conferenceWindow();
    conference.numberBox()->setText(QString::fromStdString(number));
    conference.button(ConferenceWindow::kAddId)->click();
    return ServerReceive(waitMs);
  }

  // The service's side of a member that joins: the call-back id, then the successful answer.
  void Join(std::uint32_t id) {
    ServicePacket notice;
    notice.cmdId = NTF_CALLBACK_ID;
    notice.receiver = id;
    ServerSend(notice);
    ServerSend(CallbackAnswerPacket(0));
  }

  std::vector<std::string> Column(int column) const {
    const ReportList& members = *window->conferenceWindow()->members();
    std::vector<std::string> cells;
    for (int row = 0; row < members.rowCount(); ++row)
      cells.push_back(members.cellText(row, column));
    return cells;
  }

  std::vector<std::string> boxes;
  std::unique_ptr<MainWindow> window;
};

TEST_F(ConferenceWindowTest, AddRefusesWithItsBoxesAndSendsNothing) {
  struct Case {
    const char* name;
    bool loggedIn;
    bool hasBalance;
    int callState;
    const char* number;
    const char* box;
  };
  const Case cases[] = {
      {"not logged in", false, true, 0, "13912345678", "呼叫提示 您还没有登录,请先登录!"},
      {"no balance", true, false, 0, "13912345678", "呼叫提示 您的余额不足,请先充值!"},
      {"empty", true, true, 0, "", "呼叫提示 请输入电话号码!"},
      {"no area code", true, true, 0, "5551234", "呼叫提示 拨打固定电话请加区号!"},
      {"eight, other prefix", true, true, 0, "55512345", "呼叫提示 拨打固定电话请加区号!"},
      {"longer than the field", true, true, 0, "0211234567890123", "呼叫提示 被叫号码长度不正确!"},
      {"a call on the panel", true, true, 5, "13912345678", "呼叫提示 呼叫中，请稍后!"},
      {"a call-back on the panel", true, true, 1, "13912345678", "呼叫提示 呼叫中，请稍后!"},
  };
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    state.loggedIn = c.loggedIn;
    state.hasBalance = c.hasBalance;
    window->statusPanel()->setCallState(c.callState);
    EXPECT_FALSE(Add(c.number, 150));
    EXPECT_EQ(boxes, std::vector<std::string>{c.box});
  }
  window->statusPanel()->setCallState(0);
  // Numbers of the service itself are short and share the account's first two digits.
  state.loggedIn = true;
  state.hasBalance = true;
  const auto request = Add("80001002");
  ASSERT_TRUE(request);
  EXPECT_EQ(request->cmdId, CMD_CALLBACK);
}

TEST_F(ConferenceWindowTest, FirstAddMakesTheCodeTheNextReusesIt) {
  ConferenceWindow& conference = Open();
  EXPECT_TRUE(conference.conferenceCode().empty());
  window->ShowTab(1003);
  const auto first = Add("13912345678");
  ASSERT_TRUE(first);
  const std::string code = conference.conferenceCode();
  EXPECT_TRUE(std::regex_match(code, std::regex("CONF[0-9A-F]{8}00001001"))) << code;
  EXPECT_EQ(conference.windowTitle().toStdString(), code);
  EXPECT_EQ(first->cmdId, CMD_CALLBACK);
  EXPECT_EQ(first->length, 36u + 96u);
  EXPECT_EQ(first->bodyBytes(),
            CallbackRequest("demo", "13912345678", CallbackKind::kConference, code).bodyBytes());
  EXPECT_EQ(first->bodyBytes()[65], '\x02');
  EXPECT_EQ(first->bodyBytes().substr(66, code.size()), code);
  EXPECT_TRUE(conference.numberBox()->text().isEmpty());

  StatusPanel& panel = *window->statusPanel();
  EXPECT_EQ(panel.callType(), "回拨呼出");
  EXPECT_EQ(panel.callState(), 1);
  EXPECT_EQ(panel.number(), "13912345678");
  EXPECT_TRUE(panel.callbackTimeoutRunning());
  EXPECT_TRUE(PumpUntil([&] { return window->selectedTab() == 1002; }));

  panel.SetRunning(false);
  const auto second = Add("02166667777");
  ASSERT_TRUE(second);
  EXPECT_EQ(conference.conferenceCode(), code);
  EXPECT_EQ(second->bodyBytes(),
            CallbackRequest("demo", "02166667777", CallbackKind::kConference, code).bodyBytes());
}

TEST_F(ConferenceWindowTest, WithoutTheServiceLinkNoCodeAndNoRequest) {
  ConferenceWindow& conference = Open();
  state.networkModule = nullptr;
  EXPECT_FALSE(Add("13912345678", 150));
  EXPECT_TRUE(conference.conferenceCode().empty());
  EXPECT_TRUE(conference.numberBox()->text().isEmpty());
  EXPECT_EQ(window->statusPanel()->callState(), 0);
  state.networkModule = module.get();
}

// The business worker lists members from the service's answers and takes them off its notices.
class ConferenceWorkerTest : public ConferenceWindowTest {
 protected:
  void SetUp() override {
    ConferenceWindowTest::SetUp();
    login = std::make_unique<LoginWindow>(state);
    peers = std::make_unique<UiPeers>(*login);
    peers->SetMainWindow(window.get());
    worker = std::make_unique<BussThread>(state, workerQueue, *peers);
    ASSERT_TRUE(worker->Resume());
  }
  void TearDown() override {
    worker->RequestStop();
    worker.reset();
    peers->SetMainWindow(nullptr);
    ConferenceWindowTest::TearDown();
  }
  // The worker's keep-alives go to the server too; the next call-back request.
  std::optional<ServicePacket> NextCallback() {
    for (int i = 0; i < 5; ++i) {
      auto packet = ServerReceive();
      if (packet && packet->cmdId == CMD_CALLBACK) return packet;
    }
    return std::nullopt;
  }
  std::optional<ServicePacket> NextConferenceRequest() {
    for (int i = 0; i < 5; ++i) {
      auto packet = ServerReceive();
      if (packet && packet->cmdId == CMD_CONF_MEMBER) return packet;
    }
    return std::nullopt;
  }
  void AddAndJoin(const std::string& number, std::uint32_t id) {
    ConferenceWindow& conference = *window->conferenceWindow();
    conference.numberBox()->setText(QString::fromStdString(number));
    conference.button(ConferenceWindow::kAddId)->click();
    ASSERT_TRUE(NextCallback());
    const int rows = conference.members()->rowCount();
    Join(id);
    ASSERT_TRUE(PumpUntil([&] { return conference.members()->rowCount() == rows + 1; }));
    ASSERT_TRUE(PumpUntil([&] { return window->statusPanel()->callState() == 0; }));
  }

  std::unique_ptr<LoginWindow> login;
  std::unique_ptr<UiPeers> peers;
  std::unique_ptr<BussThread> worker;
};

TEST_F(ConferenceWorkerTest, JoinedMembersAreListedWithTheirSessionNumbers) {
  Open();
  AddAndJoin("13912345678", 0x2001);
  AddAndJoin("02166667777", 0x2002);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"13912345678", "02166667777"}));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"8193", "8194"}));
  EXPECT_EQ(Column(3), (std::vector<std::string>{"回拨成功", "回拨成功"}));
  EXPECT_EQ(Column(4), (std::vector<std::string>{"允许发言", "允许发言"}));
  for (const std::string& time : Column(2)) {
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d)"))) << time;
  }
  // Each call-back also leaves its row in the call records.
  EXPECT_EQ(window->callRecords()->rowCount(), 2);

  // A call-back that fails lists nobody.
  window->conferenceWindow()->numberBox()->setText("13812345678");
  window->conferenceWindow()->button(ConferenceWindow::kAddId)->click();
  ASSERT_TRUE(NextCallback());
  ServerSend(CallbackAnswerPacket(1));
  ASSERT_TRUE(PumpUntil([&] { return window->statusPanel()->callState() == 0; }));
  EXPECT_EQ(window->conferenceWindow()->members()->rowCount(), 2);

  // The service reports a member gone, by number or by session number.
  ServerSend(ConferenceMemberNoticePacket({2, 0, "13912345678"}));
  ASSERT_TRUE(PumpUntil([&] { return Column(0).size() == 1; }));
  EXPECT_EQ(Column(0), std::vector<std::string>{"02166667777"});
  ServerSend(ConferenceMemberNoticePacket({3, 0x2002, "02166667777"}));  // not "left"
  Pump(200);
  EXPECT_EQ(Column(0).size(), 1u);
  ServerSend(ConferenceMemberNoticePacket({2, 0x2002, ""}));
  ASSERT_TRUE(PumpUntil([&] { return Column(0).empty(); }));
}

TEST_F(ConferenceWorkerTest, AnOrdinaryCallbackIsListedWhileTheWindowExists) {
  Open();
  window->numberBox()->setText("13912345678");
  window->Command(kCommandCallback);
  const auto request = NextCallback();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->bodyBytes()[65], '\x01');
  Join(0x2005);
  ASSERT_TRUE(PumpUntil([&] { return Column(0).size() == 1; }));
  EXPECT_EQ(Column(1), std::vector<std::string>{"8197"});
}

TEST_F(ConferenceWorkerTest, EndingSendsOnePacketPerMemberAndEmptiesTheList) {
  ConferenceWindow& conference = Open();
  const std::pair<const char*, std::uint32_t> members[] = {
      {"13912345678", 0x2001}, {"02166667777", 0x2002}, {"80001002", 0x2003}};
  for (const auto& [number, id] : members)
    AddAndJoin(number, id);
  const std::string code = conference.conferenceCode();
  conference.button(ConferenceWindow::kEndId)->click();
  for (const auto& [number, id] : members) {
    SCOPED_TRACE(number);
    const auto packet = NextConferenceRequest();
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->length, 36u + 46u);
    EXPECT_EQ(packet->receiver, id);
    EXPECT_EQ(packet->bodyBytes(),
              ConferenceMemberRequest(ConferenceOp::kEnd, number, std::to_string(id)).bodyBytes());
    EXPECT_EQ(packet->bodyBytes()[0], '\x01');
  }
  EXPECT_EQ(conference.members()->rowCount(), 0);
  EXPECT_EQ(conference.conferenceCode(), code);
}

TEST_F(ConferenceWindowTest, RemoveMemberByNumberOrSessionNumber) {
  ConferenceWindow& conference = Open();
  StatusPanel& panel = *window->statusPanel();
  const auto fill = [&] {
    conference.members()->DeleteAllRows();
    const std::pair<const char*, std::uint32_t> rows[] = {
        {"13912345678", 8193}, {"02166667777", 8194}, {"13912345678", 8195}};
    for (const auto& [number, id] : rows) {
      panel.setNumber(number);
      panel.setIdentify(id);
      conference.AddMember(panel);
    }
  };
  struct Case {
    const char* number;
    std::uint32_t session;
    bool removed;
    std::vector<std::string> left;  // session numbers
  };
  const Case cases[] = {
      {"13912345678", 0, true, {"8194", "8195"}},         {"", 8195, true, {"8193", "8194"}},
      {"02166667777", 8193, true, {"8194", "8195"}},  // the first row matching either
      {"5550000", 9999, false, {"8193", "8194", "8195"}}, {"", 0, false, {"8193", "8194", "8195"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.number) + "/" + std::to_string(c.session));
    fill();
    EXPECT_EQ(conference.RemoveMember(c.number, c.session), c.removed);
    EXPECT_EQ(Column(1), c.left);
  }
}

TEST_F(ConferenceWindowTest, MemberMenuDropsMutesAndUnmutes) {
  ConferenceWindow& conference = Open();
  StatusPanel& panel = *window->statusPanel();
  for (const auto& [number, id] :
       {std::pair{"13912345678", 8193u}, std::pair{"02166667777", 8194u}}) {
    panel.setNumber(number);
    panel.setIdentify(id);
    conference.AddMember(panel);
  }
  ReportList& members = *conference.members();
  members.clearSelection();
  members.Command(ReportList::kImport);
  EXPECT_FALSE(ServerReceive(150)) << "no row selected";

  members.SelectRow(1);
  members.Command(ReportList::kImport);  // 禁止发言
  auto packet = ServerReceive();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->bodyBytes(),
            ConferenceMemberRequest(ConferenceOp::kMute, "02166667777", "8194").bodyBytes());
  EXPECT_EQ(packet->receiver, 8194u);
  EXPECT_EQ(Column(4), (std::vector<std::string>{"允许发言", "禁止发言"}));

  members.Command(ReportList::kExport);  // 允许发言
  packet = ServerReceive();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->bodyBytes()[0], '\x03');
  EXPECT_EQ(Column(4), (std::vector<std::string>{"允许发言", "允许发言"}));

  members.SelectRow(0);
  members.Command(ReportList::kDelete);  // 退出会议
  packet = ServerReceive();
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->length, 36u + 96u);
  EXPECT_EQ(packet->bodyBytes(), ConferenceLeaveRequest("demo", "13912345678", "8193").bodyBytes());
  EXPECT_EQ(packet->receiver, 8193u);
  EXPECT_EQ(Column(0), std::vector<std::string>{"02166667777"});

  const QStringList items = [&] {
    QStringList texts;
    for (QAction* action : members.popupMenu()->actions())
      texts << action->text();
    return texts;
  }();
  EXPECT_EQ(items, (QStringList{"退出会议", "", "禁止发言", "允许发言"}));
}

TEST_F(ConferenceWindowTest, GluedBesideTheMainWindowAndFlippedByADoubleClick) {
  ConferenceWindow& conference = Open();
  const QRect main = window->frameGeometry();
  const int glued = main.left() + main.width() - 2;
  EXPECT_TRUE(conference.isVisible());
  EXPECT_EQ(conference.size(), QSize(383, 590));
  EXPECT_EQ(conference.pos(), QPoint(glued, main.top()));
  EXPECT_TRUE(conference.attached());
  EXPECT_TRUE(conference.draggable());

  QTest::mouseDClick(&conference, Qt::LeftButton, {}, QPoint(200, 20));
  EXPECT_FALSE(conference.draggable());
  EXPECT_EQ(conference.pos(), QPoint(glued, main.top()));
  QTest::mouseDClick(&conference, Qt::LeftButton, {}, QPoint(200, 20));
  EXPECT_TRUE(conference.draggable());
  EXPECT_EQ(conference.pos(), QPoint(glued + 4, main.top()));

  // Moved along with the main window, until the main window nears an edge where it docks.
  MoveMain(120, 140);
  EXPECT_EQ(conference.pos(), QPoint(120 + main.width() - 2, 140));
  MoveMain(120, 5);
  EXPECT_FALSE(conference.attached());
  EXPECT_EQ(conference.pos(), QPoint(120 + main.width() - 2, 140));
  MoveMain(100, 100);
  EXPECT_EQ(conference.pos(), QPoint(120 + main.width() - 2, 140));

  // The 会议 command hides it, and shows it glued again.
  window->Command(kCommandConference);
  EXPECT_FALSE(conference.isVisible());
  window->Command(kCommandConference);
  EXPECT_TRUE(conference.isVisible());
  EXPECT_TRUE(conference.attached());
  EXPECT_EQ(conference.pos(), QPoint(glued, 100));

  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  MoveMain(screen.right() - main.width() - 150, 100);
  EXPECT_FALSE(conference.attached());
}

TEST_F(ConferenceWindowTest, ShownInTheMiddleWhileTheMainWindowIsHidden) {
  window->Command(1000);  // 隐藏
  ConferenceWindow& conference = Open();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(conference.geometry().center(), screen.center());
  EXPECT_FALSE(conference.attached());
  // Brought back from the tray, the main window takes it to its side.
  window->ShowFromTray();
  const QRect main = window->frameGeometry();
  EXPECT_EQ(conference.pos(), QPoint(main.left() + main.width() - 2, main.top()));
  EXPECT_TRUE(conference.attached());
}

TEST_F(ConferenceWindowTest, TheListsConferenceItemCallsTheNumberIn) {
  ReportList& book = *window->addressBook();
  const int row = book.InsertRow(0);
  book.SetCellText(row, 0, std::string("13912345678"));
  book.SelectRow(row);
  book.Command(ReportList::kConference);
  ASSERT_NE(window->conferenceWindow(), nullptr);
  EXPECT_TRUE(window->conferenceWindow()->isVisible());
  const auto request = ServerReceive();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->bodyBytes(), CallbackRequest("demo", "13912345678", CallbackKind::kConference,
                                                  window->conferenceWindow()->conferenceCode())
                                      .bodyBytes());
  EXPECT_TRUE(window->numberBox()->text().isEmpty()) << "the main window's box is untouched";
}

}  // namespace
}  // namespace corvel
