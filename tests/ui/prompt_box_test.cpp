#include "ui/prompt_box.h"

#include <gtest/gtest.h>

#include <QTimer>

#include "app/config.h"
#include "support/temp_folder.h"
#include "ui/skin/skin_button.h"
#include "ui/url_opener.h"

namespace corvel {
namespace {

SkinButton* ButtonById(QWidget& box, int id) {
  for (SkinButton* button : box.findChildren<SkinButton*>()) {
    if (button->controlId() == id) return button;
  }
  return nullptr;
}

// Runs action once the modal box is on screen.
void WhenShown(PromptBox& box, std::function<void()> action) {
  QTimer::singleShot(50, &box, std::move(action));
}

class PromptBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFile(folder / "CorvelConfig.ini", "[WEB]\nrechargeHttp=http://site/pay\n");
    PromptBox::SetConfigPath(folder / "CorvelConfig.ini");
    SetUrlOpener([this](const QString& url) { opened.push_back(url.toStdString()); });
  }
  void TearDown() override { SetUrlOpener({}); }

  testing::TempFolder folder;
  std::vector<std::string> opened;
};

TEST_F(PromptBoxTest, WithoutButtonsTheCloseBoxLeavesResultZero) {
  PromptBox box;
  WhenShown(box, [&] {
    EXPECT_EQ(box.textRect().bottom(), box.height() - 12 - 1);
    EXPECT_EQ(ButtonById(box, PromptBox::kButton1Id), nullptr);
    box.closeButton()->click();
  });
  EXPECT_EQ(box.Show("提示", "创建通信失败!", 0), 1);
  EXPECT_EQ(box.result(), 0);
}

TEST_F(PromptBoxTest, RechargeButtonOpensThePageAndReturnsSix) {
  PromptBox box;
  box.SetButton1(true, "充值");
  WhenShown(box, [&] {
    SkinButton* first = ButtonById(box, PromptBox::kButton1Id);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->geometry(), QRect(box.width() - 69, box.height() - 35, 57, 20));
    EXPECT_EQ(box.textRect().bottom(), box.height() - 35 - 1);
    first->click();
  });
  box.Show("提示", "余额不足!", 0);
  EXPECT_EQ(box.result(), 6);
  EXPECT_EQ(opened, (std::vector<std::string>{"http://site/pay"}));
}

TEST_F(PromptBoxTest, TwoButtonsShareTheRowAndTheSecondReturnsSeven) {
  PromptBox box;
  box.SetButton1(true, "确定");
  box.SetButton2(true, "取消");
  WhenShown(box, [&] {
    EXPECT_EQ(ButtonById(box, PromptBox::kButton1Id)->geometry().left(), box.width() - 131);
    EXPECT_EQ(ButtonById(box, PromptBox::kButton2Id)->geometry().left(), box.width() - 69);
    ButtonById(box, PromptBox::kButton2Id)->click();
  });
  box.Show("确认", "确定退出", 0);
  EXPECT_EQ(box.result(), 7);
  EXPECT_TRUE(opened.empty());
}

TEST_F(PromptBoxTest, SecondButtonAloneShowsNoButton) {
  PromptBox box;
  box.SetButton2(true, "取消");
  WhenShown(box, [&] {
    EXPECT_EQ(ButtonById(box, PromptBox::kButton1Id), nullptr);
    EXPECT_EQ(ButtonById(box, PromptBox::kButton2Id), nullptr);
    box.close();
  });
  box.Show("提示", "x", 0);
  EXPECT_EQ(box.result(), 0);
}

TEST_F(PromptBoxTest, LookupButtonOpensPasswordRecovery) {
  PromptBox box;
  box.SetButton1(true, "找回密码");
  WhenShown(box, [&] { ButtonById(box, PromptBox::kButton1Id)->click(); });
  box.Show("登录提示", "密码不正确!", 0);
  EXPECT_EQ(opened, (std::vector<std::string>{DefaultWebSite() + "/getPwd.do"}));
}

TEST_F(PromptBoxTest, LongTextIsOneElidedLineOrWrapped) {
  const QString longText(60, QChar(0x4E2D));  // 中 × 60
  for (int alignment : {0, 1, 2}) {
    PromptBox box;
    box.resize(217, 130);
    WhenShown(box, [&] {
      const QImage image = box.Render();
      // Rows of the text area that hold ink: one band for a single line, several when wrapped.
      int inkedRows = 0;
      const QRect area = box.textRect();
      for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
          if (qGray(image.pixel(x, y)) < 100) {
            ++inkedRows;
            break;
          }
        }
      }
      if (alignment == 0) {
        EXPECT_GT(inkedRows, 5);
        EXPECT_LT(inkedRows, 20);
      } else if (alignment == 1) {
        EXPECT_GT(inkedRows, 25);
      } else {
        EXPECT_EQ(inkedRows, 0);
      }
      box.close();
    });
    box.Show("提示", longText, alignment);
  }
}

}  // namespace
}  // namespace corvel
