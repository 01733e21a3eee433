#include "store/database.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;

// A fresh SQLite file with the address book table and the rows given.
class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateAccessDb(path_), 0);
    connection_ = OpenAccessDb(path_);
    ASSERT_TRUE(connection_);
  }
  void TearDown() override { CloseConnection(connection_); }

  void MakeTable() {
    const Recordset created = ExecuteSql(
        connection_, "create table 通讯录 (电话号码 TEXT,姓名 TEXT,分组 TEXT,其他 TEXT)");
    ASSERT_TRUE(created);
    ASSERT_EQ(CloseRecordset(created), 0);
  }

  void Insert(const SqlParams& values) {
    ASSERT_TRUE(ExecuteSql(connection_, "insert into 通讯录 values (?,?,?,?)", values));
  }

  TempFolder folder_;
  std::string path_ = folder_ / "AddressList.db";
  Connection connection_;
};

TEST(DatabaseHandles, EmptyHandlesGiveTheNoObjectResults) {
  const Connection none;
  const Recordset nothing;
  EXPECT_EQ(CloseConnection(none), 0);
  EXPECT_EQ(CloseRecordset(nothing), 0);
  EXPECT_FALSE(ExecuteSql(none, "select 1"));
  EXPECT_FALSE(OpenRecordset(none, "select 1", kOpenDynamic));
  EXPECT_EQ(GetFieldCount(nothing), 0);
  EXPECT_EQ(GetRecordCount(nothing), 0);
  EXPECT_EQ(MoveRecord(nothing, MoveDirection::kFirst), -1);
  EXPECT_EQ(GetFieldName(nothing, 0), std::nullopt);
  EXPECT_EQ(GetFieldText(nothing, 0), "");
  EXPECT_EQ(AddNewRecord(nothing), -1);
  EXPECT_EQ(SetFieldText(nothing, 0, "x"), -1);
  EXPECT_EQ(UpdateRecord(nothing), -1);
}

TEST(DatabaseOpen, MissingEmptyPathAndForeignFilesGiveEmptyHandles) {
  TempFolder folder;
  WriteFile(folder / "text.db", "this is not a database, just some text long enough to matter\n");
  WriteFile(folder / "zeros.db", std::string(4096, '\0') + "x");
  struct Case {
    std::string path;
  } cases[] = {
      {""}, {folder / "missing.db"}, {folder / "text.db"}, {folder / "zeros.db"}, {folder.path()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_FALSE(OpenAccessDb(c.path));
  }
  EXPECT_FALSE(Exists(folder / "missing.db")) << "opening never creates a file";
  EXPECT_EQ(ReadFile(folder / "text.db"),
            "this is not a database, just some text long enough to matter\n");
}

TEST(DatabaseCreate, MakesAnSqliteFileAndNeverReplacesOne) {
  TempFolder folder;
  const std::string path = folder / "new.db";
  EXPECT_EQ(CreateAccessDb(""), -1);
  EXPECT_EQ(CreateAccessDb(path), 0);
  EXPECT_EQ(ReadFile(path).substr(0, 16), std::string("SQLite format 3\0", 16));
  EXPECT_EQ(CreateAccessDb(path), -1) << "exists already";
  WriteFile(folder / "other.db", "keep me");
  EXPECT_EQ(CreateAccessDb(folder / "other.db"), -1);
  EXPECT_EQ(ReadFile(folder / "other.db"), "keep me");
  EXPECT_EQ(CreateAccessDb(folder / "no/such/folder.db"), -1);
}

TEST(DatabaseConnectionStrings, FollowTheJetTemplates) {
  EXPECT_EQ(AccessConnectionString("a.mdb"), "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb");
  EXPECT_EQ(ExcelConnectionString("b.xls"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=b.xls;Extended Properties=\"Excel "
            "8.0;HDR=YES;\"");
  EXPECT_EQ(AccessConnectionString("a.mdb", "u", "p"),
            "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb;User ID=u;Persist Security "
            "Info=True;Jet OLEDB:Database Password=p");
}

TEST_F(DatabaseTest, CreateTableGivesAClosedRecordsetAndMissingTableAnEmptyOne) {
  const Recordset created = ExecuteSql(connection_, "create table t (a TEXT)");
  ASSERT_TRUE(created) << "a statement without rows gives a closed, non-empty recordset";
  EXPECT_EQ(GetFieldCount(created), 0);
  EXPECT_EQ(MoveRecord(created, MoveDirection::kFirst), -1) << "closed";
  EXPECT_EQ(CloseRecordset(created), 0);
  EXPECT_EQ(CloseRecordset(created), 0) << "closing twice";
  EXPECT_FALSE(ExecuteSql(connection_, "create table t (a TEXT)")) << "exists";
  EXPECT_FALSE(ExecuteSql(connection_, "select * from missing"));
  EXPECT_FALSE(OpenRecordset(connection_, "select * from missing", kOpenDynamic));
  EXPECT_FALSE(ExecuteSql(connection_, ""));
}

TEST_F(DatabaseTest, SecondStatementInOneTextIsRefusedAndNotRun) {
  MakeTable();
  Insert({"110", "a", "", ""});
  EXPECT_FALSE(ExecuteSql(connection_, "select 1; delete from 通讯录"));
  const Recordset all = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  EXPECT_EQ(GetRecordCount(all), 1);
  EXPECT_TRUE(ExecuteSql(connection_, "select 1;  \n"));
}

TEST_F(DatabaseTest, MoveRecordOnNoRecordsIsBofAndMovesNothing) {
  MakeTable();
  const Recordset empty = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  ASSERT_TRUE(empty);
  EXPECT_EQ(GetRecordCount(empty), 0);
  EXPECT_EQ(GetFieldCount(empty), 4);
  for (MoveDirection d : {MoveDirection::kFirst, MoveDirection::kLast, MoveDirection::kNext,
                          MoveDirection::kPrevious}) {
    EXPECT_EQ(MoveRecord(empty, d), -2);
  }
  EXPECT_EQ(GetFieldText(empty, 0), "");
}

TEST_F(DatabaseTest, MovesThroughRecordsAndReportsPastTheEnd) {
  MakeTable();
  for (const char* n : {"1", "2", "3"})
    Insert({n, "", "", ""});
  const Recordset rs =
      OpenRecordset(connection_, "select * from 通讯录 order by 电话号码", kOpenDynamic);
  struct Step {
    MoveDirection direction;
    int result;
    std::string number;  // field 0 afterwards
  } steps[] = {
      {MoveDirection::kLast, 0, "3"},
      {MoveDirection::kFirst, 0, "1"},
      {MoveDirection::kNext, 0, "2"},
      {MoveDirection::kNext, 0, "3"},
      {MoveDirection::kNext, 0, ""},  // end of file: no current record
      {MoveDirection::kNext, -3, ""},
      {MoveDirection::kPrevious, 0, "3"},
      {static_cast<MoveDirection>(7), 0, "2"},  // any other direction moves back
      {MoveDirection::kPrevious, 0, "1"},
      {MoveDirection::kPrevious, 0, ""},  // before the first
      {MoveDirection::kFirst, -2, ""},    // at the beginning nothing moves
  };
  EXPECT_EQ(GetFieldText(rs, 0), "1") << "opens on the first record";
  for (const Step& step : steps) {
    EXPECT_EQ(MoveRecord(rs, step.direction), step.result);
    EXPECT_EQ(GetFieldText(rs, 0), step.number);
  }
}

TEST_F(DatabaseTest, FieldTextOfNullNumbersAndTexts) {
  ASSERT_TRUE(ExecuteSql(connection_, "create table v (a, b, c, d, e)"));
  ASSERT_TRUE(
      ExecuteSql(connection_, "insert into v values (NULL, 42, 2.5, '张三''s', 13800138000)"));
  ASSERT_TRUE(ExecuteSql(connection_, "insert into v values (1e20, -0.0, 0.1, '', 100.0)"));
  const Recordset rs = OpenRecordset(connection_, "select * from v", kOpenDynamic);
  struct Case {
    int field;
    std::string first, second;
  } cases[] = {{0, "", "1E+20"},
               {1, "42", "0"},
               {2, "2.5", "0.1"},
               {3, "张三's", ""},
               {4, "13800138000", "100"}};
  for (const Case& c : cases)
    EXPECT_EQ(GetFieldText(rs, c.field), c.first) << c.field;
  ASSERT_EQ(MoveRecord(rs, MoveDirection::kNext), 0);
  for (const Case& c : cases)
    EXPECT_EQ(GetFieldText(rs, c.field), c.second) << c.field;
  EXPECT_EQ(GetFieldText(rs, 5), "") << "no such field";
  EXPECT_EQ(GetFieldText(rs, -1), "");
}

TEST_F(DatabaseTest, FieldNamesByPosition) {
  MakeTable();
  const Recordset rs = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  const char* names[] = {"电话号码", "姓名", "分组", "其他"};
  for (int j = 0; j < 4; ++j)
    EXPECT_EQ(GetFieldName(rs, j), names[j]);
  EXPECT_EQ(GetFieldName(rs, 4), std::nullopt);
  EXPECT_EQ(GetFieldName(rs, -1), std::nullopt);
}

TEST_F(DatabaseTest, AddNewSetFieldUpdateStoresTextAsTyped) {
  MakeTable();
  const Recordset rs = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  const std::string tricky = "O'Brien'); drop table 通讯录; --";
  ASSERT_EQ(AddNewRecord(rs), 0);
  EXPECT_EQ(SetFieldText(rs, 0, "110"), 0);
  EXPECT_EQ(SetFieldText(rs, 1, tricky), 0);
  EXPECT_EQ(SetFieldText(rs, 4, "x"), -2) << "no such field";
  EXPECT_EQ(GetFieldText(rs, 1), tricky) << "the record being added";
  ASSERT_EQ(AddNewRecord(rs), 0) << "stores the first, starts a second";
  EXPECT_EQ(SetFieldText(rs, 0, "120"), 0);
  EXPECT_EQ(UpdateRecord(rs), 0);
  EXPECT_EQ(UpdateRecord(rs), 0) << "nothing pending";
  EXPECT_EQ(GetRecordCount(rs), 2);
  EXPECT_EQ(CloseRecordset(rs), 0);

  const Recordset back =
      OpenRecordset(connection_, "select * from 通讯录 order by 电话号码", kOpenDynamic);
  ASSERT_EQ(GetRecordCount(back), 2);
  EXPECT_EQ(GetFieldText(back, 1), tricky);
  ASSERT_EQ(MoveRecord(back, MoveDirection::kNext), 0);
  EXPECT_EQ(GetFieldText(back, 0), "120");
  EXPECT_EQ(GetFieldText(back, 1), "") << "a field never set is NULL";
}

TEST_F(DatabaseTest, EditingTheCurrentRecordChangesOnlyThatRecord) {
  MakeTable();
  Insert({"1", "same", "", ""});
  Insert({"1", "same", "", ""});
  const Recordset rs = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  ASSERT_EQ(SetFieldText(rs, 1, "changed"), 0);
  ASSERT_EQ(UpdateRecord(rs), 0);
  const Recordset count =
      OpenRecordset(connection_, "select * from 通讯录 where 姓名=?", kOpenDynamic, {"changed"});
  EXPECT_EQ(GetRecordCount(count), 1) << "one of two identical records";
}

TEST_F(DatabaseTest, ResultsOfExecuteAndOfJoinsAreReadOnly) {
  MakeTable();
  Insert({"1", "a", "", ""});
  const Recordset executed = ExecuteSql(connection_, "select * from 通讯录");
  EXPECT_EQ(AddNewRecord(executed), -2);
  const Recordset computed =
      OpenRecordset(connection_, "select count(*) from 通讯录", kOpenDynamic);
  ASSERT_TRUE(computed);
  EXPECT_EQ(GetFieldText(computed, 0), "1");
  EXPECT_EQ(AddNewRecord(computed), -2);
  EXPECT_EQ(SetFieldText(computed, 0, "x"), -2);
  EXPECT_FALSE(OpenRecordset(connection_, "delete from 通讯录", kOpenDynamic))
      << "a recordset is opened over rows only";
  EXPECT_EQ(GetRecordCount(OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic)), 1);
}

TEST_F(DatabaseTest, BoundParametersAreValuesNeverStatementText) {
  MakeTable();
  Insert({"1'; delete from 通讯录; --", "n", "", ""});
  Insert({"2", "m", "", ""});
  const Recordset found = OpenRecordset(connection_, "select * from 通讯录 where 电话号码=?",
                                        kOpenDynamic, {"1'; delete from 通讯录; --"});
  EXPECT_EQ(GetRecordCount(found), 1);
  EXPECT_FALSE(ExecuteSql(connection_, "select * from 通讯录 where 电话号码=?", {}))
      << "a parameter without a value";
  EXPECT_FALSE(ExecuteSql(connection_, "select * from 通讯录", {"extra"}));
  EXPECT_EQ(GetRecordCount(OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic)), 2);
}

TEST_F(DatabaseTest, WorkAfterCloseFailsQuietly) {
  MakeTable();
  const Recordset rs = OpenRecordset(connection_, "select * from 通讯录", kOpenDynamic);
  EXPECT_EQ(CloseConnection(connection_), 0);
  EXPECT_EQ(CloseConnection(connection_), 0) << "already closed";
  EXPECT_FALSE(ExecuteSql(connection_, "select 1"));
  ASSERT_EQ(AddNewRecord(rs), 0);
  EXPECT_EQ(SetFieldText(rs, 0, "1"), 0);
  EXPECT_EQ(UpdateRecord(rs), -2) << "nowhere to store it";
  EXPECT_EQ(CloseRecordset(rs), 0);
}

TEST(DatabaseQuoting, NamesAreQuotedWhole) {
  EXPECT_EQ(QuoteSqlName("通讯录"), "\"通讯录\"");
  EXPECT_EQ(QuoteSqlName("a\"b"), "\"a\"\"b\"");
}

}  // namespace
}  // namespace corvel
