#include "store/address_book.h"

#include <gtest/gtest.h>

#include "list_rows.h"
#include "store/database.h"
#include "store/memory_list.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::AddressListOf;
using testing::AddressTableRows;
using testing::Exists;
using testing::ReadFile;
using testing::Rows;
using testing::TempFolder;
using testing::WriteFile;

const std::string kTable = std::string(kAddressBookTable);

TEST(AddressBookSave, FirstSaveCreatesFileTableAndOneRecordPerRow) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  const Rows rows = {{"110", "张三", "", ""}, {"120", "O'Brien", "急救", "it's \"quoted\""}};
  MemoryList list = AddressListOf(rows);
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  EXPECT_EQ(AddressTableRows(path), rows);
  const Connection connection = OpenAccessDb(path);
  const Recordset rs = OpenRecordset(connection, "select * from 通讯录", kOpenDynamic);
  ASSERT_EQ(GetFieldCount(rs), 4);
  for (int j = 0; j < 4; ++j)
    EXPECT_EQ(GetFieldName(rs, j), AddressBookColumns()[static_cast<std::size_t>(j)]);
  const Recordset type = ExecuteSql(connection, "select type from pragma_table_info('通讯录')");
  for (int j = 0; j < 4; ++j, MoveRecord(type, MoveDirection::kNext))
    EXPECT_EQ(GetFieldText(type, 0), "TEXT");
  CloseConnection(connection);
}

TEST(AddressBookSave, SavingTwiceAddsNothingAndChangesAreStoredByNumber) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  MemoryList list = AddressListOf({{"110", "张三", "", ""}, {"120", "李四", "", ""}});
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  EXPECT_EQ(AddressTableRows(path).size(), 2u);
  list.SetCellText(1, 1, "李四'改");
  list.SetCellText(0, 0, "119");  // a changed number is a new record; the old one stays
  ASSERT_EQ(SaveListToTable(path, kTable, &list, -1), 0) << "negative key column means 0";
  EXPECT_EQ(AddressTableRows(path),
            (Rows{{"110", "张三", "", ""}, {"120", "李四'改", "", ""}, {"119", "张三", "", ""}}));
}

TEST(AddressBookSave, TwoRowsWithOneNumber) {
  struct Case {
    const char* name;
    bool tableExists;
    Rows expected;
  } cases[] = {
      {"existing table: the second row overwrites the first", true, {{"110", "second", "", ""}}},
      {"new table: both rows inserted",
       false,
       {{"110", "first", "", ""}, {"110", "second", "", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder folder;
    const std::string path = folder / "AddressList.db";
    if (c.tableExists) {
      MemoryList empty = AddressListOf({});
      ASSERT_EQ(CreateTableFromList(path, kTable, &empty), 0);
    }
    MemoryList list = AddressListOf({{"110", "first", "", ""}, {"110", "second", "", ""}});
    ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
    EXPECT_EQ(AddressTableRows(path), c.expected);
  }
}

TEST(AddressBookSave, MissingArgumentsGiveMinusOne) {
  TempFolder folder;
  MemoryList list = AddressListOf({{"1"}});
  MemoryList noHeader(false);
  EXPECT_EQ(SaveListToTable("", kTable, &list, 0), -1);
  EXPECT_EQ(SaveListToTable(folder / "a.db", "", &list, 0), -1);
  EXPECT_EQ(SaveListToTable(folder / "a.db", kTable, nullptr, 0), -1);
  EXPECT_EQ(SaveListToTable(folder / "a.db", kTable, &noHeader, 0), -1);
  EXPECT_EQ(CreateTableFromList(folder / "a.db", kTable, &noHeader), -1);
  EXPECT_FALSE(Exists(folder / "a.db"));
}

TEST(AddressBookSave, FileThatIsNoDatabaseIsLeftAsItWas) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  const std::string bytes = "Standard Jet DB, or anything else that is not SQLite\n";
  WriteFile(path, bytes);
  MemoryList list = AddressListOf({{"110", "张三", "", ""}});
  SaveListToTable(path, kTable, &list, 0);
  EXPECT_EQ(ReadFile(path), bytes);
  EXPECT_EQ(list.rowCount(), 1);
  MemoryList loaded = AddressListOf({});
  LoadAddressBook(loaded, path);
  EXPECT_EQ(loaded.rowCount(), 0);
}

TEST(AddressBookLoad, FillsTheListAndLeavesItEmptyWithoutFileOrTable) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  MemoryList missing = AddressListOf({});
  LoadAddressBook(missing, path);
  EXPECT_EQ(missing.rowCount(), 0);
  EXPECT_FALSE(Exists(path)) << "loading creates nothing";
  ASSERT_EQ(CreateAccessDb(path), 0);
  LoadAddressBook(missing, path);
  EXPECT_EQ(missing.rowCount(), 0) << "no table";

  MemoryList saved = AddressListOf({{"110", "张三", "a", "b"}, {"120", "李四", "", ""}});
  ASSERT_EQ(SaveListToTable(path, kTable, &saved, 0), 0);
  MemoryList list = AddressListOf({});
  LoadAddressBook(list, path);
  EXPECT_EQ(list.rows(), saved.rows());
  EXPECT_EQ(list.columnCount(), 4);
}

TEST(AddressBookDelete, RemovesTheSelectedRowAndItsNumber) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  MemoryList list =
      AddressListOf({{"110", "a", "", ""}, {"1'0", "b", "", ""}, {"120", "c", "", ""}});
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  DeleteSelectedContact(list, path);
  EXPECT_EQ(list.rowCount(), 3) << "no selection: nothing happens";
  list.SelectRow(1);
  DeleteSelectedContact(list, path);
  EXPECT_EQ(list.rows(), (Rows{{"110", "a", "", ""}, {"120", "c", "", ""}}));
  EXPECT_EQ(AddressTableRows(path), (Rows{{"110", "a", "", ""}, {"120", "c", "", ""}}));
}

TEST(AddressBookDelete, RowGoesEvenWhenTheDatabaseFails) {
  TempFolder folder;
  MemoryList list = AddressListOf({{"110", "a", "", ""}});
  list.SelectRow(0);
  DeleteSelectedContact(list, folder / "missing.db");
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_FALSE(Exists(folder / "missing.db"));
}

TEST(AddressBookSave, TenThousandRowsInOneGo) {
  TempFolder folder;
  const std::string path = folder / "AddressList.db";
  Rows rows;
  for (int i = 0; i < 10000; ++i)
    rows.push_back({std::to_string(13800000000LL + i), "名" + std::to_string(i), "", ""});
  MemoryList list = AddressListOf(rows);
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  ASSERT_EQ(SaveListToTable(path, kTable, &list, 0), 0);
  EXPECT_EQ(AddressTableRows(path), rows);
}

}  // namespace
}  // namespace corvel
