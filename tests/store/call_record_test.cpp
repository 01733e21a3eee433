#include "store/call_record.h"

#include <gtest/gtest.h>

#include "store/memory_list.h"

namespace corvel {
namespace {

TEST(CallRecord, TalkTimeTexts) {
  struct Case {
    std::int64_t seconds;
    const char* text;
  } cases[] = {{0, "00:00:01"},  {-5, "00:00:01"},   {1, "00:00:01"},     {59, "00:00:59"},
               {61, "00:01:01"}, {3600, "01:00:00"}, {86399, "23:59:59"}, {360000, "100:00:00"}};
  for (const Case& c : cases)
    EXPECT_EQ(TalkTimeText(c.seconds), c.text) << c.seconds;
}

TEST(CallRecord, CallTimeText) {
  EXPECT_EQ(CallTimeText(LocalTime{2024, 1, 5, 9, 3, 7, 999}), "2024/01/05 09:03:07");
  EXPECT_EQ(CallTimeText(LocalTime{1999, 12, 31, 23, 59, 59, 0}), "1999/12/31 23:59:59");
}

TEST(CallRecord, AppendedAtTheEndAndColumnsFitted) {
  MemoryList list = MemoryList::WithColumns(CallRecordColumns());
  AppendCallRecord(list, {"13800138000", "SIP呼出", {2024, 1, 5, 9, 3, 7, 0}, 0, "通话结束"});
  AppendCallRecord(list, {"021", "回拨呼出", {2024, 1, 5, 10, 0, 0, 0}, 125, "回拨超时"});
  EXPECT_EQ(list.rows(),
            (std::vector<std::vector<std::string>>{
                {"13800138000", "SIP呼出", "2024/01/05 09:03:07", "00:00:01", "通话结束"},
                {"021", "回拨呼出", "2024/01/05 10:00:00", "00:02:05", "回拨超时"}}));
  EXPECT_EQ(list.columnWidth(2),
            MemoryList::DefaultMeasure("2024/01/05 09:03:07") + MemoryList::kTextMargin);
}

}  // namespace
}  // namespace corvel
