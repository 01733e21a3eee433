#include "ui/dial_rules.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

DialContext Ready() {
  DialContext context;
  context.loggedIn = true;
  context.hasBalance = true;
  context.ready = true;
  context.sipNumber = "80001001";
  return context;
}

TEST(DialRules, CallCommand) {
  struct Case {
    const char* typed;
    DialAction action;
    const char* number;
    const char* message;
    bool clear;
  };
  const Case cases[] = {
      {"13912345678", DialAction::kAreaQuery, "013912345678", "", true},
      {"02112345678", DialAction::kInvite, "02112345678", "", true},
      {"01087654321", DialAction::kInvite, "01087654321", "", true},
      {"015912345678", DialAction::kAreaQuery, "015912345678", "", true},
      {"21234567", DialAction::kRefuse, "", "拨打固定电话请加区号!", false},
      {"2123456", DialAction::kRefuse, "", "拨打固定电话请加区号!", false},
      {"80009999", DialAction::kInvite, "80009999", "", false},  // another service number
      {"80", DialAction::kInvite, "80", "", false},
      {"123456", DialAction::kInvite, "123456", "", true},
      {"", DialAction::kRefuse, "", "请输入电话号码!", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const DialDecision decision = DecideCall(Ready(), c.typed);
    EXPECT_EQ(decision.action, c.action);
    EXPECT_EQ(decision.number, c.number);
    EXPECT_EQ(decision.message, c.message);
    EXPECT_EQ(decision.clearNumberBox, c.clear);
  }
}

TEST(DialRules, CallCommandStates) {
  DialContext context = Ready();
  context.callState = 2;
  EXPECT_EQ(DecideCall(context, "139").action, DialAction::kAnswer);
  context.callState = 5;
  context.ready = false;
  EXPECT_EQ(DecideCall(context, "13912345678").message, "SIP注册中,请稍后再呼!");
  context.hasBalance = false;
  EXPECT_EQ(DecideCall(context, "1").message, "您的余额不足,请先充值!");
  context.loggedIn = false;
  EXPECT_EQ(DecideCall(context, "1").message, "您还没有登录,请先登录!");
}

TEST(DialRules, CallbackChecks) {
  struct Case {
    const char* typed;
    int callState;
    const char* message;
  };
  const Case cases[] = {{"13912345678", 0, ""},
                        {"02112345678", 0, ""},
                        {"1391234567", 0, "被叫号码长度不正确!"},
                        {"81234567", 0, "被叫号码不正确!"},
                        {"", 0, "请输入被叫号码!"},
                        {"13912345678", 1, "呼叫中，请稍后!"},
                        // The request holds 15 bytes of number: one more would be cut.
                        {"021123456789012", 0, ""},
                        {"0211234567890123", 0, "被叫号码长度不正确!"},
                        {"0211234567890123456789012", 0, "被叫号码长度不正确!"},
                        {"0211234567890123", 1, "被叫号码长度不正确!"}};
  for (const Case& c : cases) {
    DialContext context = Ready();
    context.callState = c.callState;
    EXPECT_EQ(CheckCallback(context, c.typed).message, c.message) << c.typed;
  }
  DialContext broke = Ready();
  broke.hasBalance = false;
  const CallbackCheck check = CheckCallback(broke, "13912345678");
  EXPECT_EQ(check.message, "您的余额不足,请先充值!");
  EXPECT_TRUE(check.needsRecharge);
}

TEST(DialRules, KeysAppendUpToThirtyCharactersThenReplace) {
  EXPECT_EQ(ApplyKey("", KeyCharacter(1)), "1");
  EXPECT_EQ(ApplyKey("139", KeyCharacter(10)), "139*");
  EXPECT_EQ(ApplyKey(std::string(30, '5'), KeyCharacter(11)), std::string(30, '5') + "#");
  EXPECT_EQ(ApplyKey(std::string(31, '5'), KeyCharacter(0)), "0");
}

TEST(DialRules, PasswordCode) {
  EXPECT_EQ(PasswordCode("bc", "abcdef"), "0102");
  EXPECT_EQ(PasswordCode("a", "abcdef"), "00");
  EXPECT_EQ(PasswordCode("az", "abcdef"), "");
  EXPECT_EQ(PasswordCode("", "abc"), "");
  const std::string table = "V9Q5rlFOCaTfHkNWZczj61S8ogXRnbJxUtPM43idvGKs7weyI0muBp2LqYEADh";
  EXPECT_EQ(PasswordCode("demo123", table), "39465024215437");
}

}  // namespace
}  // namespace corvel
