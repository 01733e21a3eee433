#include "store/list_fill.h"

#include <gtest/gtest.h>

#include "store/memory_list.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::TempFolder;

class ListFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateAccessDb(folder_ / "t.db"), 0);
    connection_ = OpenAccessDb(folder_ / "t.db");
    ASSERT_TRUE(ExecuteSql(connection_, "create table t (号码 TEXT, 名字 TEXT, n)"));
  }
  void TearDown() override { CloseConnection(connection_); }

  Recordset All() { return OpenRecordset(connection_, "select * from t", kOpenDynamic); }

  TempFolder folder_;
  Connection connection_;
};

TEST_F(ListFillTest, ListWithoutColumnsGetsOneCentredColumnPerField) {
  ASSERT_TRUE(ExecuteSql(connection_, "insert into t values ('110', '张三', 5)"));
  MemoryList list;
  ASSERT_EQ(FillListFromRecordset(&list, All()), 0);
  ASSERT_EQ(list.columnCount(), 3);
  const char* titles[] = {"号码", "名字", "n"};
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(list.columnTitle(j), titles[j]);
    EXPECT_EQ(list.columnAlign(j), ColumnAlign::kCenter);
  }
  EXPECT_EQ(list.rows(), (std::vector<std::vector<std::string>>{{"110", "张三", "5"}}));
}

TEST_F(ListFillTest, ListWithColumnsKeepsThemAndGetsRecordsAboveItsRows) {
  ASSERT_TRUE(ExecuteSql(connection_, "insert into t values ('1', 'a', NULL)"));
  ASSERT_TRUE(ExecuteSql(connection_, "insert into t values ('2', 'b', 2.5)"));
  MemoryList list = MemoryList::WithColumns({"x", "y"});
  list.SetCellText(list.InsertRow(0), 0, "old");
  ASSERT_EQ(FillListFromRecordset(&list, All()), 0);
  EXPECT_EQ(list.columnCount(), 2) << "no column made; the third field is dropped";
  EXPECT_EQ(list.rows(),
            (std::vector<std::vector<std::string>>{{"1", "a"}, {"2", "b"}, {"old", ""}}));
}

TEST_F(ListFillTest, NoRecordsInsertsNothingButFitsTheColumns) {
  MemoryList list = MemoryList::WithColumns({"电话号码"});
  ASSERT_EQ(list.columnWidth(0), 10);
  ASSERT_EQ(FillListFromRecordset(&list, All()), 0);
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_EQ(list.columnWidth(0), MemoryList::DefaultMeasure("电话号码") + MemoryList::kTextMargin);
}

TEST_F(ListFillTest, MissingPartsGiveMinusOne) {
  MemoryList noHeader(false);
  MemoryList list;
  EXPECT_EQ(FillListFromRecordset(nullptr, All()), -1);
  EXPECT_EQ(FillListFromRecordset(&list, Recordset{}), -1);
  EXPECT_EQ(FillListFromRecordset(&noHeader, All()), -1);
  EXPECT_EQ(AutoSizeColumns(nullptr), -1);
  EXPECT_EQ(AutoSizeColumns(&noHeader), -1);
  EXPECT_EQ(noHeader.columnCount(), 0);
}

TEST(AutoSizeColumns, WidthOfTheLongerOfTitleAndContents) {
  MemoryList list = MemoryList::WithColumns({"a much longer title", "短", ""});
  const int row = list.InsertRow(0);
  list.SetCellText(row, 0, "1");
  list.SetCellText(row, 1, "a cell much longer than its title");
  ASSERT_EQ(AutoSizeColumns(&list), 0);
  const int margin = MemoryList::kTextMargin;
  struct Case {
    int column;
    std::string widest;
  } cases[] = {{0, "a much longer title"}, {1, "a cell much longer than its title"}, {2, ""}};
  for (const Case& c : cases) {
    EXPECT_EQ(list.columnWidth(c.column), MemoryList::DefaultMeasure(c.widest) + margin)
        << c.column;
  }
}

}  // namespace
}  // namespace corvel
