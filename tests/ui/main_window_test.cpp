#include "ui/main_window.h"

#include "ui/call_display.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <thread>

#include "app/config.h"
#include "app/window_messages.h"
#include "service/buss_thread.h"
#include "service/client_requests.h"
#include "service/link_fixture.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "store/address_book.h"
#include "support/qt_pump.h"
#include "ui/account_tips.h"
#include "ui/login_window.h"
#include "ui/phone_controls.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_button.h"
#include "ui/skin/skin_edit.h"
#include "ui/sound_port.h"
#include "ui/status_panel.h"
#include "ui/ui_peers.h"
#include "ui/url_opener.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

using testing::WriteFile;

class RecordingSounds : public SoundPort {
 public:
  std::vector<std::string> played;
  int stops = 0;
  void Play(const std::string& path, bool loop) override {
    played.push_back(path + (loop ? " loop" : ""));
  }
  void StopAll() override { ++stops; }
};

class RecordingPhone : public PhoneControls {
 public:
  std::vector<std::string> calls;
  int registCounter = 1;
  bool natMode = false;
  bool natKnown = false;
  bool HasEndpoint() const override { return true; }
  bool HasRtpSession() const override { return true; }
  int RegistCounter() const override { return registCounter; }
  bool NatMode() const override { return natMode; }
  bool NatAddressKnown() const override { return natKnown; }
  void Invite(const std::string& number) override { calls.push_back("invite " + number); }
  void Answer(std::uint32_t identify, int code) override {
    calls.push_back("answer " + std::to_string(identify) + " " + std::to_string(code));
  }
  void HangUp(std::uint32_t identify) override {
    calls.push_back("hangup " + std::to_string(identify));
  }
  void SendDtmf(int key) override { calls.push_back("dtmf " + std::to_string(key)); }
  void StartCapture() override { calls.push_back("capture"); }
  void Shutdown() override { calls.push_back("shutdown"); }
};

using testing::Pump;

class MainWindowTest : public testing::LinkFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartModule());
    state.programFolder.set(folder.path());
    state.configPath.set(folder / "CorvelConfig.ini");
    state.account.set("demo");
    state.password.set("bc");
    state.codeTable.set("abcdef");
    state.sipNumber.set("80001001");
    state.loggedIn = true;
    state.hasBalance = true;
    SetPromptHandler([this](QWidget*, const PromptRequest& request) {
      boxes.push_back(
          request.caption.toStdString() + " " + request.text.toStdString() +
          (request.button1.isEmpty() ? "" : " [" + request.button1.toStdString() + "]"));
      return answer;
    });
    SetUrlOpener([this](const QString& url) { urls.push_back(url.toStdString()); });
    window = std::make_unique<MainWindow>(state);
    window->setSounds(&sounds);
    window->show();
  }
  void TearDown() override {
    window.reset();
    SetPromptHandler({});
    SetUrlOpener({});
    LinkFixture::TearDown();
  }

  void Click(int id) { window->button(id)->click(); }
  void TypeKeys(const std::string& keys) {
    for (char c : keys) {
      const int id = c == '*' ? 1023 : c == '#' ? 1025 : c == '0' ? 1024 : 1014 + (c - '1');
      Click(id);
    }
  }

  std::vector<std::string> boxes;
  std::vector<std::string> urls;
  std::uint8_t answer = 0;
  RecordingSounds sounds;
  RecordingPhone phone;
  std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, DialPadTypesPlaysKeyTonesAndKeepsThirtyCharacters) {
  TypeKeys("1*0#");
  EXPECT_EQ(window->numberBox()->text(), "1*0#");
  EXPECT_EQ(sounds.played,
            (std::vector<std::string>{folder / "Wave/DTMF1.wav", folder / "Wave/DTMF10.wav",
                                      folder / "Wave/DTMF0.wav", folder / "Wave/DTMF11.wav"}));
  window->numberBox()->setText(QString(31, '5'));
  TypeKeys("7");
  EXPECT_EQ(window->numberBox()->text(), "7");
  Click(1012);
  EXPECT_EQ(window->numberBox()->text(), "");
  TypeKeys("12");
  Click(1011);
  EXPECT_EQ(window->numberBox()->text(), "");
}

TEST_F(MainWindowTest, CallbackByTheDialPadReachesTheServiceAndTimesOut) {
  window->statusPanel()->setCallbackTimeoutMs(150);
  std::vector<CallRecordRow> rows;
  window->statusPanel()->setRecordSink([&](const CallRecordRow& row) { rows.push_back(row); });
  TypeKeys("13912345678");
  Click(kCommandCallback);
  auto request = ServerReceive();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->cmdId, CMD_CALLBACK);
  EXPECT_EQ(request->bodyBytes(),
            CallbackRequest("demo", "13912345678", CallbackKind::kCallback).bodyBytes());
  EXPECT_EQ(request->length, 36u + 66u);
  EXPECT_EQ(window->numberBox()->text(), "");
  EXPECT_EQ(window->statusPanel()->callType(), "回拨呼出");
  EXPECT_EQ(window->statusPanel()->statusText(), "呼叫中");
  Pump(500);
  EXPECT_EQ(window->selectedTab(), 1002);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].number, "13912345678");
  EXPECT_EQ(rows[0].status, "回拨超时");
}

// The development service answers a call-back within microseconds of the request; the answer
// must find the panel already showing the call-back, or it is ignored and the call-back that
// succeeded ends as "回拨超时" two minutes later.
TEST_F(MainWindowTest, CallbacksTheServiceAnswersAtOnceEndAsSucceeded) {
  constexpr int kRounds = 50;
  std::vector<CallRecordRow> rows;
  window->statusPanel()->setRecordSink([&](const CallRecordRow& row) { rows.push_back(row); });
  LoginWindow login(state);
  UiPeers peers(login);
  peers.SetMainWindow(window.get());
  BussThread worker(state, workerQueue, peers);
  ASSERT_TRUE(worker.Resume());
  std::jthread service([this](std::stop_token stop) {
    for (int answered = 0; answered < kRounds && !stop.stop_requested();) {
      const auto request = ServerReceive(200);
      if (!request) continue;
      if (request->cmdId != CMD_CALLBACK) continue;  // the worker's keep-alives
      ServerSend(CallbackAnswerPacket(0));
      ++answered;
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    TypeKeys("13912345678");
    Click(kCommandCallback);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (rows.size() <= static_cast<std::size_t>(round) &&
           std::chrono::steady_clock::now() < until) {
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(round + 1)) << "round " << round;
    EXPECT_EQ(rows.back().status, "回拨成功") << "round " << round;
    EXPECT_EQ(window->statusPanel()->callState(), 0);
  }
  worker.RequestStop();
  peers.SetMainWindow(nullptr);
}

TEST_F(MainWindowTest, CallbackRefusals) {
  TypeKeys("1391234567");
  Click(kCommandCallback);
  // Longer than the request's number field: refused, not sent cut to 15 digits.
  window->numberBox()->setText("0211234567890123456789012");
  Click(kCommandCallback);
  EXPECT_EQ(window->numberBox()->text(), "0211234567890123456789012");
  EXPECT_EQ(window->statusPanel()->callState(), 0);
  state.hasBalance = false;
  Click(kCommandCallback);
  EXPECT_EQ(boxes, (std::vector<std::string>{"回拨提示 被叫号码长度不正确!",
                                             "回拨提示 被叫号码长度不正确!",
                                             "回拨提示 您的余额不足,请先充值! [充值]"}));
  EXPECT_FALSE(ServerReceive(200));
}

TEST_F(MainWindowTest, CallCommandFollowsTheNumberRules) {
  TypeKeys("13912345678");
  Click(kCommandCallOrAnswer);
  EXPECT_EQ(boxes, (std::vector<std::string>{"呼叫提示 SIP注册中,请稍后再呼!"}));
  window->setPhone(&phone);
  window->setReady(true);
  Click(kCommandCallOrAnswer);
  auto query = ServerReceive();
  ASSERT_TRUE(query);
  EXPECT_EQ(query->cmdId, CMD_AREA_QUERY);
  EXPECT_EQ(query->bodyBytes(), AreaQueryRequest("013912345678").bodyBytes());
  EXPECT_TRUE(phone.calls.empty());
  window->numberBox()->setText("02112345678");
  QTest::keyClick(window->numberBox(), Qt::Key_Return);  // Enter calls as the button does
  Pump(50);
  window->numberBox()->setText("80001234");
  Click(kCommandCallOrAnswer);
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"invite 02112345678", "invite 80001234"}));
  EXPECT_EQ(window->numberBox()->text(), "80001234");
  window->statusPanel()->setCallState(2);
  window->statusPanel()->setIdentify(7);
  Click(kCommandCallOrAnswer);
  EXPECT_EQ(phone.calls.back(), "answer 7 200");
}

TEST_F(MainWindowTest, HangUpRefusesARingingCallAndStopsTheSounds) {
  window->setPhone(&phone);
  std::vector<CallRecordRow> rows;
  window->statusPanel()->setRecordSink([&](const CallRecordRow& row) { rows.push_back(row); });
  window->statusPanel()->setCallState(1);
  window->statusPanel()->setIdentify(9);
  window->statusPanel()->setStatusText("拒绝接听");
  Click(kCommandHangUp);
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"answer 9 400"}));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].elapsed, "");
  EXPECT_EQ(window->statusPanel()->callState(), 0);
  EXPECT_EQ(sounds.stops, 1);
  Click(kCommandHangUp);
  EXPECT_EQ(phone.calls.back(), "hangup 0");
}

TEST_F(MainWindowTest, DtmfOnlyDuringAConversation) {
  window->setPhone(&phone);
  TypeKeys("5");
  window->statusPanel()->setCallState(5);
  TypeKeys("#");
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"dtmf 11"}));
}

TEST_F(MainWindowTest, WebPagesCarryTheAccountAndThePasswordCode) {
  WriteFile(folder / "CorvelConfig.ini",
            "[WEB]\ncallRecordHttp=http://site/bill\ntipHttp=ab\nrechargeHttp=http://site/pay\n");
  Click(1010);
  Click(1028);
  Click(1007);
  state.password.set("bz");
  Click(1010);
  state.loggedIn = false;
  Click(1010);
  EXPECT_EQ(urls, (std::vector<std::string>{
                      "http://site/bill?t=client&item=bill&u=demo&m=0102",
                      DefaultWebSite() + "/user/login.do?t=client&item=link&u=demo&m=0102",
                      "http://site/pay",
                      "http://site/bill?t=client&item=bill&u=demo&m=", "http://site/bill"}));
}

TEST_F(MainWindowTest, TitleFollowsTheState) {
  window->setPhone(&phone);
  phone.registCounter = 0;
  EXPECT_EQ(window->ComputeTitle(), "Corvel[SIP注册中]");
  phone.registCounter = 1;
  phone.natMode = true;
  EXPECT_EQ(window->ComputeTitle(), "Corvel[NAT注册中]");
  phone.natKnown = true;
  window->OnWindowMessage(WM_SIP_REGISTERED, 1);
  EXPECT_EQ(window->ComputeTitle(), "Corvel[就绪]");
  window->statusPanel()->setCallState(5);
  EXPECT_EQ(window->ComputeTitle(), "Corvel[通话中]");
  state.loggedIn = false;
  EXPECT_EQ(window->ComputeTitle(), "Corvel[未登录]");
}

TEST_F(MainWindowTest, ServiceMessagesShowTheirBoxes) {
  for (auto [number, wParam] :
       std::vector<std::pair<int, std::uint32_t>>{{WM_ACCOUNT_STATUS, 6},
                                                  {WM_ACCOUNT_STATUS, 0},
                                                  {WM_CALL_REJECTED, 0},
                                                  {WM_CALL_REJECTED, 1},
                                                  {WM_CALL_REJECTED, 2},
                                                  {WM_SERVICE_STOPPED, 0},
                                                  {WM_SERVICE_STOPPED, 1}}) {
    PostWindowMessage(window.get(), number, wParam);
  }
  Pump(50);
  EXPECT_EQ(boxes, (std::vector<std::string>{"提示 帐号已被注销!", "提示 呼叫受限!",
                                             "提示 未知错误!", "提示 余额不足! [充值]",
                                             "提示 余额不足! [充值]", "提示 网络故障!"}));
}

TEST_F(MainWindowTest, LogOffByTheWorkerSendsTheLogOffPacket) {
  PostCommand(window.get(), kCommandLogInOut);
  Pump(50);
  auto logoff = ServerReceive();
  ASSERT_TRUE(logoff);
  EXPECT_EQ(logoff->cmdId, CMD_LOGOFF);
  EXPECT_FALSE(state.loggedIn);
  EXPECT_EQ(window->button(kCommandLogInOut)->text(), "登录");
  EXPECT_EQ(window->ComputeTitle(), "Corvel[未登录]");
  Click(kCommandCallOrAnswer);
  EXPECT_EQ(boxes.back(), "呼叫提示 您还没有登录,请先登录!");
}

TEST_F(MainWindowTest, IncomingCallBoxWhenHidden) {
  window->setPhone(&phone);
  window->statusPanel()->setCallType(kCallTypeIncoming);
  window->statusPanel()->setNumber("13912345678");
  window->statusPanel()->setCallState(1);
  window->ShowTab(1002);  // visible: no box
  EXPECT_TRUE(boxes.empty());
  window->ToggleHidden();
  EXPECT_EQ(window->hideState(), MainWindow::HideState::kHidden);
  answer = PromptBox::kClosedByButton1;
  window->statusPanel()->setIdentify(4);
  window->ShowTab(1002);
  EXPECT_EQ(boxes, (std::vector<std::string>{"来电 13912345678 [接听]"}));
  EXPECT_EQ(window->statusPanel()->callState(), 2);
  Pump(50);
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"answer 4 200"}));
  // The second report of the same call (after its 180) pops no second box, and the call
  // command pressed again before the ACK answers nothing twice.
  window->statusPanel()->setCallState(1);
  window->ShowTab(1002);
  EXPECT_EQ(boxes.size(), 1u);
  window->Command(kCommandCallOrAnswer);
  EXPECT_EQ(phone.calls.size(), 1u);
}

TEST_F(MainWindowTest, DockedAtTheTopItSlidesAwayAndBack) {
  const QRect screen = window->screen()->geometry();
  window->move(100, 4);
  Pump(20);
  EXPECT_TRUE(window->edgeArmed());
  QCursor::setPos(screen.right() - 2, screen.bottom() - 2);  // the mouse is elsewhere
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(window.get(), &leave);
  Pump(20);
  EXPECT_EQ(window->hideState(), MainWindow::HideState::kSlid);
  EXPECT_EQ(window->geometry().top(), 5 - window->height());
  QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(110, 3));
  QApplication::sendEvent(window.get(), &enter);
  Pump(20);
  EXPECT_EQ(window->geometry().top(), 0);
  EXPECT_EQ(window->hideState(), MainWindow::HideState::kShown);
  EXPECT_TRUE(window->edgeArmed());
}

TEST_F(MainWindowTest, DockedAtTheRightItLeavesFivePixels) {
  const QRect screen = window->screen()->geometry();
  window->move(screen.right() + 1 - window->width() + 3, 100);  // a little beyond the edge
  Pump(20);
  EXPECT_TRUE(window->edgeArmed());
  QCursor::setPos(screen.left() + 2, screen.bottom() - 2);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(window.get(), &leave);
  Pump(20);
  EXPECT_EQ(window->geometry().left(), screen.right() + 1 - 5);
  EXPECT_EQ(window->hideState(), MainWindow::HideState::kSlid);
}

TEST_F(MainWindowTest, AwayFromTheEdgesNothingSlides) {
  window->move(200, 150);
  Pump(20);
  EXPECT_FALSE(window->edgeArmed());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(window.get(), &leave);
  EXPECT_EQ(window->hideState(), MainWindow::HideState::kShown);
  EXPECT_EQ(window->geometry().topLeft(), QPoint(200, 150));
}

TEST_F(MainWindowTest, AboutBoxFromTheTitleBar) {
  QTimer::singleShot(100, [] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      if (top->isVisible() && top->windowTitle() == "关于 Corvel") top->close();
    }
  });
  window->ShowAbout();  // returns once the box closed
  SUCCEED();
}

TEST_F(MainWindowTest, TabsAndTrayMenu) {
  window->ShowTab(1005);
  EXPECT_FALSE(window->statusPanel()->isVisible());
  EXPECT_EQ(window->button(1005)->kind(), ButtonKind::kSelected);
  EXPECT_EQ(window->button(1002)->kind(), ButtonKind::kPlain);
  window->ShowTab(1002);
  EXPECT_TRUE(window->statusPanel()->isVisible());
  QStringList items;
  for (QAction* action : window->trayMenu()->actions())
    items << action->text();
  EXPECT_EQ(items, (QStringList{"退出", "隐藏", "注销", "会议", "", "充值", "话单"}));
}

// The run start-up waits for: hiding the window (button or tray) leaves it running, blocking
// nothing; the exit command ends it, hidden or not, through the closing sequence.
TEST_F(MainWindowTest, RunEndsOnExitNotOnHide) {
  window->setPhone(&phone);
  answer = PromptBox::kClosedByButton1;
  bool running = true;
  std::vector<std::string> seen;
  QTimer::singleShot(50, window.get(), [&] {
    seen.push_back(QApplication::activeModalWidget() == nullptr ? "not modal" : "modal");
    window->Command(1000);
    seen.push_back(window->isVisible() ? "visible" : "hidden");
    seen.push_back(window->trayMenu()->actions()[1]->text().toStdString());
  });
  QTimer::singleShot(250, window.get(), [&] {
    seen.push_back(running ? "running" : "ended");
    window->Command(1001);  // from the tray menu, the window hidden
  });
  window->Run();
  running = false;
  EXPECT_EQ(seen, (std::vector<std::string>{"not modal", "hidden", "显示", "running"}));
  EXPECT_EQ(boxes, (std::vector<std::string>{"确认 确定退出 [确定]"}));
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"hangup 0", "shutdown"}));
  EXPECT_TRUE(std::filesystem::exists(folder / std::string(kAddressBookFile)));
}

TEST_F(MainWindowTest, ExitRefusedKeepsRunningAndTheTrayShowsTheWindowCentred) {
  answer = PromptBox::kClosedByButton2;
  bool returned = false;
  QTimer::singleShot(50, window.get(), [&] {
    window->Command(1001);  // 取消
    window->Command(1000);
  });
  QTimer::singleShot(200, window.get(), [&] {
    EXPECT_FALSE(returned);
    window->ShowFromTray();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->hideState(), MainWindow::HideState::kShown);
    EXPECT_EQ(window->trayMenu()->actions()[1]->text(), "隐藏");
    const QRect screen = window->screen()->geometry();
    EXPECT_EQ(window->geometry().center(), screen.center());
    window->close();
  });
  window->Run();
  returned = true;
}

TEST_F(MainWindowTest, DraggingMovesTheWindowFromItsSurfaceThePanelAndTheLink) {
  struct Case {
    const char* where;
    QWidget* widget;
    QPoint from;
  };
  SkinButton* link = window->button(1028);
  const Case cases[] = {{"title", window.get(), {60, 20}},
                        {"logo", window.get(), {50, 70}},
                        {"status panel", window->statusPanel(), {100, 60}},
                        {"link", link, {40, 8}}};
  for (const Case& c : cases) {
    window->move(200, 100);
    Pump(20);
    QTest::mousePress(c.widget, Qt::LeftButton, {}, c.from);
    QTest::mouseMove(c.widget, c.from + QPoint(30, 20));
    QTest::mouseRelease(c.widget, Qt::LeftButton, {}, c.from + QPoint(30, 20));
    Pump(20);
    EXPECT_EQ(window->pos(), QPoint(230, 120)) << c.where;
  }
  EXPECT_TRUE(urls.empty());  // a press on the link that moved away opens nothing
  QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(40, 8));
  EXPECT_EQ(urls.size(), 1u);
  // Dropped at the top edge, the window is armed to slide away.
  window->move(200, 40);
  Pump(20);
  QTest::mousePress(window.get(), Qt::LeftButton, {}, QPoint(60, 20));
  QTest::mouseMove(window.get(), QPoint(60, -15));
  QTest::mouseRelease(window.get(), Qt::LeftButton, {}, QPoint(60, -15));
  EXPECT_EQ(window->pos(), QPoint(200, 5));
  EXPECT_TRUE(window->edgeArmed());
}

// The account lines (x 112, tops 38, 55 and 74) show their whole value once the pointer rests.
TEST_F(MainWindowTest, AccountLinesShowTheirWholeValueAfterAPause) {
  const std::string longName = "欧阳长名字欧阳长名字欧阳长名字欧阳长名字欧阳长名字";
  state.account.set(longName);
  state.linkedPhone.set("");
  window->update();
  AccountTips* tips = window->accountTips();
  QLabel* tip = tips->label();
  auto hover = [&](QPoint at) {
    QCursor::setPos(window->mapToGlobal(at));
    QMouseEvent move(QEvent::MouseMove, at, window->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window.get(), &move);
  };
  auto waitShown = [&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!tip->isVisible() && std::chrono::steady_clock::now() < until)
      Pump(10);
    return tip->isVisible();
  };
  hover({150, 44});
  EXPECT_FALSE(tip->isVisible());  // not before the pause
  ASSERT_TRUE(waitShown());
  EXPECT_EQ(tip->text().toStdString(), longName);
  EXPECT_GT(tip->width(), 268 - 112);  // wider than the line that cuts it
  hover({150, 61});                    // the next line at once
  EXPECT_EQ(tip->text(), "80001001");
  hover({150, 80});  // no linked phone: nothing to show
  EXPECT_FALSE(tip->isVisible());
  hover({150, 61});
  ASSERT_TRUE(waitShown());
  hover({150, 250});  // off the lines
  EXPECT_FALSE(tip->isVisible());

  // Logged off, the lines are gone and so are their tips; logged in again, they are back.
  Click(kCommandLogInOut);
  hover({150, 44});
  Pump(AccountTips::kDelayMs + 200);
  EXPECT_FALSE(tip->isVisible());
  hover({150, 250});
  window->ShowLoggedIn(true);
  hover({150, 61});
  EXPECT_TRUE(waitShown());
}

// A key held down in another window (the login window closing on its Enter) repeats on here and
// is released here: none of it may act, while the window's own key strokes do.
TEST_F(MainWindowTest, KeysHeldOverFromAnotherWindowAreKeptOut) {
  window->activateWindow();
  window->numberBox()->setFocus();
  QWindow* handle = window->windowHandle();
  ASSERT_NE(handle, nullptr);
  auto send = [&](QEvent::Type type, bool repeat, quint64 time) {
    QKeyEvent key(type, Qt::Key_Return, Qt::NoModifier, "\r", repeat);
    key.setTimestamp(time);
    QApplication::sendEvent(handle, &key);
    Pump(20);
  };
  send(QEvent::KeyPress, true, 100);
  send(QEvent::KeyRelease, true, 130);
  send(QEvent::KeyPress, true, 130);
  // A repeat the platform did not mark as one: released and pressed again at one time.
  send(QEvent::KeyRelease, false, 160);
  send(QEvent::KeyPress, false, 160);
  send(QEvent::KeyRelease, false, 190);
  EXPECT_TRUE(boxes.empty());
  send(QEvent::KeyPress, false, 500);  // typed here: the call command runs
  send(QEvent::KeyPress, true, 530);   // and so do its own repeats
  send(QEvent::KeyRelease, false, 560);
  EXPECT_EQ(boxes,
            (std::vector<std::string>{"呼叫提示 请输入电话号码!", "呼叫提示 请输入电话号码!"}));
}

class CallDisplayTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    window->setPhone(&phone);
    window->statusPanel()->setRecordSink([this](const CallRecordRow& row) { rows.push_back(row); });
    display =
        std::make_unique<CallDisplay>(state, *window, RingFiles{"ring.wav", "crvt.wav", "bye.wav"});
  }
  int Report(CallReport& call, int state) {
    call.state = state;
    const int result = display->ShowCall(call);
    Pump(30);
    return result;
  }
  std::string Caption(int id) { return window->button(id)->text().toStdString(); }

  std::unique_ptr<CallDisplay> display;
  std::vector<CallRecordRow> rows;
};

TEST_F(CallDisplayTest, OutgoingCallFromRingingToTheEnd) {
  CallReport call;
  call.outgoing = true;
  call.identify = 3;
  call.callName = "013912345678";
  EXPECT_EQ(Report(call, 1), 0);
  EXPECT_EQ(window->statusPanel()->statusText(), "呼叫中");
  EXPECT_EQ(window->statusPanel()->callType(), "SIP呼出");
  EXPECT_EQ(Caption(kCommandHangUp), "取消");
  EXPECT_EQ(window->selectedTab(), 1002);
  Report(call, 2);
  EXPECT_EQ(window->statusPanel()->statusText(), "振铃中");
  EXPECT_EQ(sounds.played.back(), "ring.wav loop");
  Report(call, 5);
  EXPECT_TRUE(call.notifyService);
  EXPECT_EQ(window->statusPanel()->callState(), 5);
  EXPECT_EQ(Caption(kCommandCallOrAnswer), "呼叫");
  EXPECT_EQ(Caption(kCommandHangUp), "挂断");
  EXPECT_EQ(phone.calls, (std::vector<std::string>{"capture"}));
  auto start = ServerReceive();
  ASSERT_TRUE(start);
  EXPECT_EQ(start->cmdId, CMD_CALL_START);
  EXPECT_EQ(start->bodyBytes(), CallStartRequest("demo", "013912345678").bodyBytes());
  EXPECT_EQ(module->lastKeepAlive(), 0u);
  Report(call, -1);
  auto end = ServerReceive();
  ASSERT_TRUE(end);
  EXPECT_EQ(end->cmdId, CMD_CALL_END);
  EXPECT_EQ(end->length, 86u);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].status, "通话结束");
  EXPECT_EQ(rows[0].elapsed, "00:00:01");
  EXPECT_EQ(window->statusPanel()->callState(), 0);
}

TEST_F(CallDisplayTest, IncomingCallRefusedHere) {
  CallReport call;
  call.identify = 8;
  call.callName = "13912345678";
  Report(call, 1);
  Report(call, 1);  // again after the 180
  EXPECT_EQ(window->statusPanel()->statusText(), "呼叫中");
  EXPECT_EQ(Caption(kCommandCallOrAnswer), "接听");
  EXPECT_EQ(Caption(kCommandHangUp), "拒绝");
  EXPECT_EQ(sounds.played, (std::vector<std::string>{"crvt.wav loop", "crvt.wav loop"}));
  call.reason = 4;
  Report(call, -1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (CallRecordRow{"13912345678", "SIP呼入", rows[0].startTime, "", "拒绝接听"}));
  EXPECT_FALSE(ServerReceive(200));  // incoming calls are not reported to the service
}

TEST_F(CallDisplayTest, FailedCallsPlayTheFailureTone) {
  struct Case {
    int reason;
    const char* text;
  };
  for (const Case& c :
       {Case{1, "空号"}, Case{2, "对方拒绝"}, Case{3, "对方忙"}, Case{0, "呼叫失败"}}) {
    rows.clear();
    CallReport call;
    call.outgoing = true;
    call.identify = 1;
    call.callName = "02112345678";
    Report(call, 1);
    call.failed = true;
    call.reason = c.reason;
    Report(call, -1);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].status, c.text);
    EXPECT_EQ(sounds.played.back(), "bye.wav");
  }
  EXPECT_FALSE(ServerReceive(200));  // never connected: no start, no end
}

TEST_F(CallDisplayTest, CallsBetweenServiceNumbersAreNotReported) {
  CallReport call;
  call.outgoing = true;
  call.identify = 2;
  call.callName = "80004321";
  Report(call, 1);
  Report(call, 5);
  EXPECT_FALSE(call.notifyService);
  Report(call, -1);
  EXPECT_FALSE(ServerReceive(200));
}

TEST_F(CallDisplayTest, NoServiceLinkRefusesTheReport) {
  state.networkModule = nullptr;
  CallReport call;
  call.state = 1;
  EXPECT_EQ(display->ShowCall(call), -1);
  state.networkModule = module.get();
}

}  // namespace
}  // namespace corvel
