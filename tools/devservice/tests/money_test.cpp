#include "money.h"

#include <gtest/gtest.h>

namespace corvel::devservice {
namespace {

TEST(Money, FormatsWithTwoPlaces) {
  EXPECT_EQ(FormatMoney(10000), "100.00");
  EXPECT_EQ(FormatMoney(0), "0.00");
  EXPECT_EQ(FormatMoney(5), "0.05");
  EXPECT_EQ(FormatMoney(-150), "-1.50");
  EXPECT_EQ(FormatMoney(-5), "-0.05");
}

TEST(Money, ParsesDecimalAmounts) {
  EXPECT_EQ(ParseMoney("100"), 10000);
  EXPECT_EQ(ParseMoney("100.5"), 10050);
  EXPECT_EQ(ParseMoney("100.05"), 10005);
  EXPECT_EQ(ParseMoney("-3"), -300);
  EXPECT_EQ(ParseMoney("+2.25"), 225);
  EXPECT_EQ(ParseMoney("0.00"), 0);
  for (const char* bad :
       {"", "-", ".5", "1.", "1.234", "1,5", "abc", "1e3", "12a", "1.-5", "99999999999999999999"}) {
    EXPECT_FALSE(ParseMoney(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace corvel::devservice
