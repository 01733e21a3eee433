#include "area_table.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel::devservice {
namespace {

std::string Code(const char* number) {
  return std::string(LookUpArea(number).code);
}

TEST(AreaTable, LandlinesWithAndWithoutTheLeadingZero) {
  EXPECT_EQ(Code("02161234567"), "021");
  EXPECT_EQ(Code("2161234567"), "021");
  EXPECT_EQ(Code("01061234567"), "010");
  EXPECT_EQ(Code("1061234567"), "010");
  EXPECT_EQ(Code("02061234567"), "020");
  EXPECT_EQ(Code("075561234567"), "0755");
  EXPECT_EQ(LookUpArea("02161234567").name, "上海市");
  EXPECT_EQ(LookUpArea("01061234567").name, "北京市");
  EXPECT_EQ(LookUpArea("02061234567").name, "广州市");
}

TEST(AreaTable, MobilesByPrefix) {
  EXPECT_EQ(Code("13912345678"), "021");
  // As the client asks: with a "0" in front.
  EXPECT_EQ(Code("013912345678"), "021");
  EXPECT_EQ(Code("013512345678"), "010");
  EXPECT_EQ(Code("13812345678"), "021");
  EXPECT_EQ(Code("13512345678"), "010");
  EXPECT_EQ(Code("13612345678"), "010");
  EXPECT_EQ(Code("15012345678"), "020");
  EXPECT_EQ(LookUpArea("18912345678").name, "广州市");
}

TEST(AreaTable, NoMatchGivesAnEmptyArea) {
  EXPECT_EQ(Code(""), "");
  EXPECT_EQ(Code("1391234567"), "");    // ten digits: not a mobile number
  EXPECT_EQ(Code("139123456789"), "");  // twelve
  EXPECT_EQ(Code("1391234567x"), "");
  EXPECT_EQ(Code("88881234"), "");
  EXPECT_EQ(LookUpArea("88881234").name, "");
}

}  // namespace
}  // namespace corvel::devservice
