// 导出 and 导入 through real files: our workbooks read by FreeXL and xlrd, workbooks made by
// xlwt and LibreOffice imported, and the address book saved afterwards.
#include "store/spreadsheet_exchange.h"

#include <gtest/gtest.h>

#include "external_tools.h"
#include "list_rows.h"
#include "store/address_book.h"
#include "store/call_record.h"
#include "store/database.h"
#include "store/memory_list.h"
#include "store/workbook_file.h"
#include "store/xls_reader.h"
#include "support/temp_folder.h"
#include "workbook_rows.h"

namespace corvel {
namespace {

using testing::AddressTableRows;
using testing::Exists;
using testing::ListOf;
using testing::ReadFile;
using testing::Rows;
using testing::SheetRows;
using testing::TempFolder;
using testing::WriteFile;

Rows WithTitles(const std::vector<std::string>& titles, Rows rows) {
  rows.insert(rows.begin(), titles);
  return testing::Trimmed(rows);
}

Rows FreeXlSheet(const std::string& path, const std::string& sheet) {
  const auto workbook = ReadWorkbookFile(path);
  if (!workbook) return {{"<unreadable>"}};
  for (const Worksheet& s : workbook->sheets) {
    if (s.name == sheet) return SheetRows(s);
  }
  return {{"<no sheet>"}};
}

const Rows kContacts = {{"13800138000", "张三", "同事", "O'Brien"},
                        {"0571-8888", "李四", "", "逗号, \"引号\""},
                        {"110", "", "紧急", ""}};

TEST(Export, NewFileHasTitlesAndTextRowsReadByTwoReaders) {
  const bool xlrd = testing::PythonHas("xlrd");
  TempFolder folder;
  struct Case {
    const char* name;
    std::vector<std::string> columns;
    Rows rows;
  } cases[] = {
      {"address book", AddressBookColumns(), kContacts},
      {"call records",
       CallRecordColumns(),
       {{"13800138000", "SIP呼出", "2024/01/05 09:03:07", "00:00:01", "通话结束"}}},
      {"empty list", AddressBookColumns(), {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = folder / (std::string(c.name) + ".xls");
    MemoryList list = ListOf(c.columns, c.rows);
    ASSERT_EQ(ExportListToSheet(path, "sheet1", &list), 0);
    const Rows expected = WithTitles(c.columns, c.rows);
    EXPECT_EQ(FreeXlSheet(path, "sheet1"), expected);
    if (xlrd) {
      EXPECT_EQ(testing::XlrdRows(folder, path, "sheet1"), expected);
    }
    // Every exported cell is text, the number column included.
    const auto workbook = ReadXls(path);
    ASSERT_TRUE(workbook);
    for (const CellRow& row : workbook->sheets[0].rows) {
      for (const CellValue& cell : row)
        EXPECT_NE(cell.kind, CellValue::Kind::kNumber);
    }
  }
  if (!xlrd) GTEST_SKIP() << "python3-xlrd is missing: only FreeXL read the files";
}

TEST(Export, AgainToTheSameFileAppendsBelow) {
  TempFolder folder;
  const std::string path = folder / "book.xls";
  MemoryList first = ListOf(AddressBookColumns(), {kContacts[0]});
  MemoryList second = ListOf(AddressBookColumns(), {kContacts[1], kContacts[2]});
  ASSERT_EQ(ExportListToSheet(path, "sheet1", &first), 0);
  ASSERT_EQ(ExportListToSheet(path, "sheet1", &second), 0);
  EXPECT_EQ(FreeXlSheet(path, "sheet1"), WithTitles(AddressBookColumns(), kContacts));
  if (testing::PythonHas("xlrd")) {
    EXPECT_EQ(testing::XlrdSheetNames(folder, path), std::vector<std::string>{"sheet1"});
  }
}

TEST(Export, IntoAWorkbookMadeElsewhereKeepsItsOtherSheetsAndAppendsToSheet1) {
  if (!testing::PythonHas("xlwt")) GTEST_SKIP() << "python3-xlwt is not installed";
  TempFolder folder;
  const std::string path = folder / "theirs.xls";
  ASSERT_TRUE(testing::XlwtWrite(folder, path,
                                 "[('封面', [['说明', 3]]), ('Sheet1', [[None], ['号码', '名'], "
                                 "['1', '甲'], [None, None], [2, '乙']])]"));
  MemoryList list = ListOf(AddressBookColumns(), {{"3", "丙", "组", "x"}});
  ASSERT_EQ(ExportListToSheet(path, "sheet1", &list), 0);
  EXPECT_EQ(FreeXlSheet(path, "封面"), (Rows{{"说明", "3"}}));
  EXPECT_EQ(FreeXlSheet(path, "Sheet1"),
            (Rows{{}, {"号码", "名"}, {"1", "甲"}, {}, {"2", "乙"}, {"3", "丙"}}))
      << "the sheet's table has two fields: the list's other columns have nowhere to go";
}

Rows twiceExpected(Rows rows) {
  rows.insert(rows.end(), kContacts.begin(), kContacts.end());
  return testing::Trimmed(rows);
}

TEST(Export, FormatFollowsTheNameAndABareNameGetsXls) {
  TempFolder folder;
  MemoryList list = ListOf(AddressBookColumns(), kContacts);
  const Rows expected = WithTitles(AddressBookColumns(), kContacts);
  struct Case {
    std::string typed, written;
  } cases[] = {{"a.xlsx", "a.xlsx"}, {"b.csv", "b.csv"}, {"c", "c.xls"}, {"d.XLS", "d.XLS"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    const std::string path = WithWorkbookExtension(folder / c.typed);
    EXPECT_EQ(path, folder / c.written);
    ASSERT_EQ(ExportListToSheet(path, "sheet1", &list), 0);
    ASSERT_EQ(ExportListToSheet(path, "sheet1", &list), 0);
    EXPECT_EQ(FreeXlSheet(path, "sheet1"), twiceExpected(expected));
  }
  const std::string csv = ReadFile(folder / "b.csv");
  EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(csv.find("\"逗号, \"\"引号\"\"\"\r\n"), std::string::npos);
  EXPECT_EQ(testing::PythonCsvRows(folder, folder / "b.csv"), twiceExpected(expected));
}

TEST(Export, MissingArgumentsAndUnwritableTargetsWriteNothing) {
  TempFolder folder;
  MemoryList list = ListOf(AddressBookColumns(), kContacts);
  MemoryList noHeader(false);
  EXPECT_EQ(ExportListToSheet("", "sheet1", &list), -1);
  EXPECT_EQ(ExportListToSheet(folder / "a.xls", "", &list), -1);
  EXPECT_EQ(ExportListToSheet(folder / "a.xls", "sheet1", nullptr), -1);
  EXPECT_EQ(ExportListToSheet(folder / "a.xls", "sheet1", &noHeader), -1);
  EXPECT_FALSE(Exists(folder / "a.xls"));

  const std::string text = "not a workbook, but the user's file\n";
  WriteFile(folder / "notes.xls", text);
  ExportListToSheet(folder / "notes.xls", "sheet1", &list);
  EXPECT_EQ(ReadFile(folder / "notes.xls"), text) << "a file that is no workbook is not replaced";

  // A text longer than a cell can hold: the workbook is not written at all rather than cut.
  MemoryList huge = ListOf(AddressBookColumns(), {{"1", std::string(40000, 'x'), "", ""}});
  MemoryList small = ListOf(AddressBookColumns(), {{"1", "a", "", ""}});
  ASSERT_EQ(ExportListToSheet(folder / "big.xls", "sheet1", &small), 0);
  const std::string before = ReadFile(folder / "big.xls");
  ExportListToSheet(folder / "big.xls", "sheet1", &huge);
  EXPECT_EQ(ReadFile(folder / "big.xls"), before);
  ExportListToSheet(folder / "missing-folder/x.xls", "sheet1", &list);
  EXPECT_FALSE(Exists(folder / "missing-folder"));
}

TEST(Import, WorkbookMadeByXlwtWithNumbersAndChinese) {
  if (!testing::PythonHas("xlwt")) GTEST_SKIP() << "python3-xlwt is not installed";
  TempFolder folder;
  const std::string book = folder / "contacts.xls";
  // Numbers in numeric cells come back as their text (no ".0", a leading zero is gone); texts as
  // they are; the title row is not compared; a fifth column is dropped.
  ASSERT_TRUE(
      testing::XlwtWrite(folder, book,
                         "[('其他', [['x']]), ('SHEET1', [['号', '名', '组', '注', '多'], "
                         "[13800138000, '张三', '同事', \"O'Brien\", 'drop'], "
                         "['0571', '李四', '', 2.5, None], [571, None, None, -3, None]])]"));
  const std::string db = folder / "AddressList.db";
  MemoryList list = ListOf(AddressBookColumns(), {{"999", "已有", "", ""}});
  ImportAddressBook(list, book, db);
  const Rows expected = {{"13800138000", "张三", "同事", "O'Brien"},
                         {"0571", "李四", "", "2.5"},
                         {"571", "", "", "-3"},
                         {"999", "已有", "", ""}};
  EXPECT_EQ(list.rows(), expected) << "records above the rows there were";
  EXPECT_EQ(AddressTableRows(db), expected) << "the whole list is saved";

  ImportAddressBook(list, book, db);
  EXPECT_EQ(list.rowCount(), 7) << "a second import shows the rows twice";
  EXPECT_EQ(AddressTableRows(db).size(), 4u) << "but the table keeps one record per number";
}

TEST(Import, WorkbookMadeByLibreOffice) {
  if (!testing::HaveLibreOffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  TempFolder folder;
  // LibreOffice names the sheet of a CSV file after the file.
  WriteFile(folder / "Sheet1.csv",
            "电话号码,姓名,分组,其他\r\n13900001111,王五,朋友,\"含,逗号\"\r\n"
            "010,赵六,,42\r\n");
  const std::string xls = testing::LibreOfficeConvert(folder, folder / "Sheet1.csv",
                                                      "xls:MS Excel 97", "xls", "CSV:44,34,76,1");
  ASSERT_FALSE(xls.empty()) << "LibreOffice did not make the workbook";
  MemoryList list = ListOf(AddressBookColumns(), {});
  ImportAddressBook(list, xls, folder / "AddressList.db");
  // LibreOffice stores 010 and 42 as numbers: the leading zero does not survive.
  EXPECT_EQ(list.rows(),
            (Rows{{"13900001111", "王五", "朋友", "含,逗号"}, {"10", "赵六", "", "42"}}));
}

TEST(Import, BadWorkbooksImportNothingAndTheListIsStillSaved) {
  TempFolder folder;
  MemoryList good = ListOf(AddressBookColumns(), kContacts);
  ASSERT_EQ(ExportListToSheet(folder / "good.xls", "sheet1", &good), 0);
  const std::string goodBytes = ReadFile(folder / "good.xls");
  WriteFile(folder / "truncated.xls", goodBytes.substr(0, goodBytes.size() / 2));
  WriteFile(folder / "header-only.xls", goodBytes.substr(0, 512));
  WriteFile(folder / "text.xls", "电话号码,姓名\n110,张三\n");
  WriteFile(folder / "empty.xls", "");
  MemoryList other = ListOf(AddressBookColumns(), kContacts);
  ASSERT_EQ(ExportListToSheet(folder / "no-sheet1.xls", "Contacts", &other), 0);
  const std::string cases[] = {"truncated.xls", "header-only.xls", "text.xls", "empty.xls",
                               "no-sheet1.xls", "missing.xls",     ""};
  for (const std::string& name : cases) {
    SCOPED_TRACE(name);
    const std::string db = folder / (name + ".db");
    MemoryList list = ListOf(AddressBookColumns(), {{"1", "keep", "", ""}});
    ImportAddressBook(list, name.empty() ? std::string() : folder / name, db);
    EXPECT_EQ(list.rows(), (Rows{{"1", "keep", "", ""}}));
    if (!name.empty()) {
      EXPECT_EQ(AddressTableRows(db), (Rows{{"1", "keep", "", ""}})) << "the save still runs";
    } else {
      EXPECT_FALSE(Exists(db)) << "a cancelled dialog does nothing";
    }
  }
  EXPECT_EQ(ReadFile(folder / "good.xls"), goodBytes) << "importing never writes the workbook";
}

TEST(Import, LargeSheetAndLongCell) {
  if (!testing::PythonHas("xlwt")) GTEST_SKIP() << "python3-xlwt is not installed";
  TempFolder folder;
  const std::string big = folder / "big.xls";
  ASSERT_TRUE(testing::XlwtWrite(
      folder, big,
      "[('sheet1', [['号', '名']] + [[str(13800000000 + i), '名%d' % i] for i in range(10000)])]"));
  MemoryList list = ListOf(AddressBookColumns(), {});
  ImportAddressBook(list, big, folder / "AddressList.db");
  ASSERT_EQ(list.rowCount(), 10000);
  EXPECT_EQ(list.cellText(9999, 0), "13800009999");
  EXPECT_EQ(list.cellText(9999, 1), "名9999");
  EXPECT_EQ(AddressTableRows(folder / "AddressList.db").size(), 10000u);

  // A cell of 30000 characters (xlwt stops at Excel's 32767) spans several records, which
  // FreeXL would misread: the workbook is refused whole.
  const std::string longCell = folder / "long.xls";
  ASSERT_TRUE(testing::XlwtWrite(
      folder, longCell, "[('sheet1', [['号', '名'], ['1', '长' * 30000], ['2', 'after']])]"));
  MemoryList kept = ListOf(AddressBookColumns(), {{"1", "keep", "", ""}});
  ImportAddressBook(kept, longCell, folder / "long.db");
  EXPECT_EQ(kept.rows(), (Rows{{"1", "keep", "", ""}}));
}

}  // namespace
}  // namespace corvel
