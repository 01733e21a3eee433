#include "ui/login_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "app/account_file.h"
#include "app/config.h"
#include "app/window_messages.h"
#include "service/client_requests.h"
#include "service/link_fixture.h"
#include "service/server_messages.h"
#include "service/service_command.h"
#include "support/qt_pump.h"
#include "ui/busy_strip.h"
#include "ui/prompt_box.h"
#include "ui/skin/skin_combo.h"
#include "ui/skin/skin_edit.h"
#include "ui/url_opener.h"
#include "ui/window_message.h"

namespace corvel {
namespace {

using testing::ReadFile;
using testing::WaitFor;
using testing::WriteFile;

struct Shown {
  std::string caption;
  std::string text;
  std::string button1;
};

class LoginWindowTest : public testing::LinkFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(StartModule());
    state.programFolder.set(folder.path());
    state.configPath.set(folder / "CorvelConfig.ini");
    SetPromptHandler([this](QWidget*, const PromptRequest& request) {
      shown.push_back({request.caption.toStdString(), request.text.toStdString(),
                       request.button1.toStdString()});
      return std::uint8_t{0};
    });
    SetUrlOpener([this](const QString& url) { opened.push_back(url.toStdString()); });
  }
  void TearDown() override {
    SetPromptHandler({});
    SetUrlOpener({});
    window.reset();
    LinkFixture::TearDown();
  }

  LoginWindow& Open() {
    window = std::make_unique<LoginWindow>(state);
    window->Prepare();
    window->show();
    return *window;
  }

  void Type(const QString& account, const QString& password) {
    window->accountBox()->setEditText(account);
    window->passwordBox()->setText(password);
  }

  // Lets posted events and timers run for a while.
  static void Pump(int ms) { testing::Pump(ms); }

  std::vector<Shown> shown;
  std::vector<std::string> opened;
  std::unique_ptr<LoginWindow> window;
};

TEST_F(LoginWindowTest, EnterSendsExactlyOneLoginWithTheExactBody) {
  Open();
  Type("demo", "demo123");
  window->passwordBox()->setFocus();
  QTest::keyPress(window->passwordBox(), Qt::Key_Return);
  QTest::keyRelease(window->passwordBox(), Qt::Key_Return);
  auto login = ServerReceive();
  ASSERT_TRUE(login);
  EXPECT_EQ(login->cmdId, CMD_LOGIN);
  EXPECT_EQ(login->bodyBytes(), LoginRequest("demo", "demo123").bodyBytes());
  EXPECT_EQ(login->length, 101u);
  EXPECT_TRUE(state.loginPending);
  EXPECT_TRUE(window->busyStrip()->isVisible());
  EXPECT_TRUE(window->loginTimerRunning());
  EXPECT_FALSE(ServerReceive(200));

  QTest::keyClick(window->passwordBox(), Qt::Key_L, Qt::ControlModifier);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "登录中请稍候!");
  EXPECT_EQ(shown[0].caption, "登录提示");
  EXPECT_FALSE(ServerReceive(200));
}

TEST_F(LoginWindowTest, InputChecks) {
  Open();
  window->Login();
  Type("demo", "");
  window->Login();
  state.networkModule = nullptr;
  Type("demo", "x");
  window->Login();
  state.networkModule = module.get();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "请输入帐号!");
  EXPECT_EQ(shown[1].text, "请输入密码!");
  EXPECT_EQ(shown[2].text, "登录传输失败!");
  EXPECT_FALSE(state.loginPending);
}

TEST_F(LoginWindowTest, EveryAnswerText) {
  struct Case {
    std::uint32_t status;
    const char* text;
    const char* button1;
  };
  const Case cases[] = {{2, "密码不正确!", "找回密码"}, {3, "帐号或密码错误!", ""},
                        {4, "帐号余额不足!", "充值"},   {5, "帐号失效或者被封!", ""},
                        {6, "该帐号已经登录!", ""},     {7, "帐号未激活!", ""},
                        {8, "未知错误!", ""},           {9, nullptr, nullptr}};
  Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    shown.clear();
    Type("demo", "pw");
    window->Login();
    ASSERT_TRUE(ServerReceive());
    PostWindowMessage(window.get(), WM_ACCOUNT_STATUS, c.status);
    Pump(50);
    EXPECT_FALSE(state.loginPending);
    EXPECT_FALSE(window->busyStrip()->isVisible());
    EXPECT_FALSE(window->loginTimerRunning());
    EXPECT_TRUE(window->isVisible());
    if (c.text == nullptr) {
      EXPECT_TRUE(shown.empty());
      continue;
    }
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, c.text);
    EXPECT_EQ(shown[0].button1, c.button1);
  }
}

TEST_F(LoginWindowTest, SuccessClosesAndWritesDataFileWithoutPassword) {
  Open();
  bool relabelled = false;
  window->setOnLoggedIn([&] { relabelled = true; });
  Type("newuser", "secret");
  window->Login();
  ASSERT_TRUE(ServerReceive());
  window->OnLoginAnswer(0);
  EXPECT_TRUE(state.loggedIn);
  EXPECT_TRUE(relabelled);
  EXPECT_FALSE(window->isVisible());
  const std::string bytes = ReadFile(folder / "data.dat");
  ASSERT_EQ(bytes.size(), 256u);
  EXPECT_EQ(bytes.substr(192), std::string(64, '\xFF'));
  EXPECT_EQ(BlockText(ReadAccountFile(folder / "data.dat")->lastAccount), "newuser");
}

TEST_F(LoginWindowTest, RememberedPasswordIsForgottenAfterAWrongPassword) {
  WriteAccountFile(folder / "data.dat", {}, TextBlock("demo"),
                   {{TextBlock("demo"), TextBlock("old")}, {TextBlock("other"), {}}});
  Open();
  EXPECT_EQ(window->accountBox()->currentText(), "demo");
  EXPECT_EQ(window->passwordBox()->text(), "old");
  window->Login();
  ASSERT_TRUE(ServerReceive());
  window->OnLoginAnswer(2);
  window->OnAccountChosen(window->accountBox()->findText("demo"));
  EXPECT_EQ(window->passwordBox()->text(), "");
  window->passwordBox()->setText("typed");
  window->OnAccountChosen(window->accountBox()->findText("other"));
  EXPECT_EQ(window->passwordBox()->text(), "");
}

TEST_F(LoginWindowTest, RememberPasswordKeepsItAcrossRuns) {
  Open();
  window->ToggleRemember();
  Type("demo", "demo123");
  window->Login();
  ASSERT_TRUE(ServerReceive());
  window->OnLoginAnswer(0);
  state.savedAccounts.set({});
  Open();
  EXPECT_EQ(window->accountBox()->currentText(), "demo");
  EXPECT_EQ(window->passwordBox()->text(), "demo123");
}

TEST_F(LoginWindowTest, TimeOutSendsLogOffAndSaysSo) {
  Open();
  window->setLoginTimeoutMs(150);
  Type("demo", "pw");
  window->Login();
  ASSERT_TRUE(ServerReceive());
  Pump(400);
  auto logoff = ServerReceive(1000);
  ASSERT_TRUE(logoff);
  EXPECT_EQ(logoff->cmdId, CMD_LOGOFF);
  EXPECT_EQ(logoff->bodyBytes(), LogOffRequest("demo").bodyBytes());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "登录超时!");
  EXPECT_FALSE(state.loginPending);
}

TEST_F(LoginWindowTest, ClosingWhilePendingSendsNothingAndAllowsANewLogin) {
  Open();
  Type("demo", "pw");
  window->Login();
  ASSERT_TRUE(ServerReceive());
  window->close();
  EXPECT_FALSE(ServerReceive(200));
  EXPECT_FALSE(state.loginPending);
  Open();
  Type("demo", "pw");
  window->Login();
  EXPECT_TRUE(ServerReceive());
  EXPECT_TRUE(shown.empty());
}

TEST_F(LoginWindowTest, ResetForgetsTheAccount) {
  WriteAccountFile(folder / "data.dat", {}, TextBlock("demo"), {{TextBlock("demo"), {}}});
  Open();
  QTest::keyClick(window->passwordBox(), Qt::Key_R, Qt::ControlModifier);
  EXPECT_TRUE(ReadAccountFile(folder / "data.dat")->entries.empty());
  EXPECT_EQ(window->accountBox()->currentText(), "");
  EXPECT_EQ(window->accountBox()->count(), 1);  // still listed until the next opening
}

TEST_F(LoginWindowTest, WebLinksCarryTheAgentIdentifier) {
  WriteAccountFile(folder / "data.dat", TextBlock("AG77"), {}, {});
  WriteFile(folder / "CorvelConfig.ini", "[WEB]\nregisterHttp=http://site/signup\n");
  Open();
  window->OpenSignUp();
  window->OpenLookup();
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0], "http://site/signup?t=client&id=AG77");
  EXPECT_EQ(opened[1], DefaultWebSite() + "/getPwd.do");
}

TEST_F(LoginWindowTest, OverLongAndBadInputIsCut) {
  WriteFile(folder / "data.dat", std::string(300, '\x01'));
  Open();  // a corrupt file yields odd names, but no crash
  window->accountBox()->setEditText({});
  window->passwordBox()->clear();
  QTest::keyClicks(window->accountBox()->lineEdit(), QString(60, 'a'));
  QTest::keyClicks(window->passwordBox(), QString(20, 'p'));
  EXPECT_EQ(window->accountBox()->currentText().size(), 50);
  EXPECT_EQ(window->passwordBox()->text().size(), 15);
  window->Login();
  auto login = ServerReceive();
  ASSERT_TRUE(login);
  EXPECT_EQ(ReadRequestFields(*login).account, std::string(50, 'a'));
  window->OnLoginAnswer(0);
  EXPECT_TRUE(ReadAccountFile(folder / "data.dat"));
}

TEST_F(LoginWindowTest, ChineseAccountTravelsAsGbk) {
  Open();
  Type("张三", "pw");
  window->Login();
  auto login = ServerReceive();
  ASSERT_TRUE(login);
  EXPECT_EQ(ReadRequestFields(*login).account, "张三");
  EXPECT_EQ(login->bodyBytes().substr(0, 4), "\xD5\xC5\xC8\xFD");
}

}  // namespace
}  // namespace corvel
