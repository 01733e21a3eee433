#include "account_book.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "request_rules.h"
#include "test_accounts.h"

namespace corvel::devservice {
namespace {

TEST(AccountBook, ReadsEveryColumn) {
  const AccountBook book = testing::TestBook();
  EXPECT_EQ(book.size(), 8u);
  const Account* alice = book.Find("alice");
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(alice->password, "pw1");
  EXPECT_EQ(alice->balanceCents, 2500);
  EXPECT_EQ(alice->linkedPhone, "13900000001");
  EXPECT_EQ(alice->sipNumber, "80001001");
  EXPECT_EQ(alice->login, LoginKind::kOk);
  EXPECT_EQ(alice->codeTable, "abcXYZ");
  const Account* hugo = book.Find("hugo");
  ASSERT_NE(hugo, nullptr);
  EXPECT_EQ(hugo->balanceCents, -500);
  EXPECT_EQ(hugo->linkedPhone, "");  // "-" is an empty column
  EXPECT_EQ(hugo->codeTable, "");
  EXPECT_EQ(hugo->login, LoginKind::kOk1);
  EXPECT_EQ(book.Find("nobody"), nullptr);
}

TEST(AccountBook, TakesCommentsBlankLinesCrlfAndUtf8) {
  std::string error;
  const auto book = AccountBook::Parse(
      "\r\n  # only a comment\r\n张三 密码 1.5 - - ok 表 # trailing comment\r\n\n", error);
  ASSERT_TRUE(book.has_value()) << error;
  ASSERT_EQ(book->size(), 1u);
  const Account* account = book->Find("张三");
  ASSERT_NE(account, nullptr);
  EXPECT_EQ(account->password, "密码");
  EXPECT_EQ(account->balanceCents, 150);
  EXPECT_EQ(account->codeTable, "表");
}

TEST(AccountBook, RejectsBadLinesNamingThem) {
  struct Case {
    const char* text;
    const char* errorPart;
  };
  const Case cases[] = {
      {"a b 1.00 - - ok\n", "line 1: expected 7 columns, found 6"},
      {"# header\na b 1.00 - - ok x y\n", "line 2: expected 7 columns, found 8"},
      {"a b 1,00 - - ok x\n", "line 1: balance '1,00'"},
      {"a b 1.001 - - ok x\n", "balance"},
      {"a b 1.00 - - maybe x\n", "login 'maybe'"},
      {"a b 1.00 - - ok x\na c 2.00 - - ok y\n", "line 2: account 'a' appears twice"},
      {"a b 1.00 - - ok \xFF\n", "not UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    EXPECT_FALSE(AccountBook::Parse(c.text, error).has_value());
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
  }
}

TEST(AccountBook, LoadNamesAMissingFile) {
  std::string error;
  EXPECT_FALSE(AccountBook::Load("/nonexistent/accounts.txt", error).has_value());
  EXPECT_NE(error.find("/nonexistent/accounts.txt"), std::string::npos);
}

// The build copies the shipped file next to the binaries, where the tests run.
TEST(AccountBook, ShippedDemoAccountsGiveTheDocumentedLoginResults) {
  std::string error;
  const auto book = AccountBook::Load("accounts.txt", error);
  ASSERT_TRUE(book.has_value()) << error;
  struct Case {
    const char* account;
    const char* password;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"demo", "demo123", 0},   {"demo2", "demo123", 0},  {"alt", "demo123", 1},
      {"demo", "wrong", 2},     {"nobody", "demo123", 3}, {"broke", "demo123", 4},
      {"banned", "demo123", 5}, {"busy", "demo123", 6},   {"inactive", "demo123", 7},
      {"oops", "demo123", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    EXPECT_EQ(LoginStatus(book->Find(c.account), c.password), c.status);
  }
  const Account* demo = book->Find("demo");
  ASSERT_NE(demo, nullptr);
  EXPECT_EQ(demo->balanceCents, 10000);
  EXPECT_EQ(demo->linkedPhone, "13912345678");
  EXPECT_EQ(demo->sipNumber, "80001001");
  ASSERT_NE(book->Find("demo2"), nullptr);
  EXPECT_EQ(book->Find("demo2")->sipNumber, "80001002");
  std::string letters = demo->codeTable;
  std::sort(letters.begin(), letters.end());
  EXPECT_EQ(letters, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  EXPECT_NE(demo->codeTable, letters);  // shuffled, not in order
}

}  // namespace
}  // namespace corvel::devservice
