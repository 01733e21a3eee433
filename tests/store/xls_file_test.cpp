// Our .xls files read back by FreeXL and by xlrd (and once by LibreOffice), with identical rows.
#include <gtest/gtest.h>

#include "external_tools.h"
#include "store/workbook_file.h"
#include "store/xls_reader.h"
#include "store/xls_writer.h"
#include "support/temp_folder.h"
#include "workbook_rows.h"

namespace corvel {
namespace {

using testing::Rows;
using testing::SheetOfTexts;
using testing::SheetRows;
using testing::TempFolder;
using testing::XlrdRows;
using testing::XlrdSheetNames;

Rows FreeXlRows(const std::string& path, std::size_t sheet) {
  const auto workbook = ReadXls(path);
  if (!workbook || sheet >= workbook->sheets.size()) return {{"<freexl failed>"}};
  return SheetRows(workbook->sheets[sheet]);
}

void RequireXlrd() {
  if (!testing::PythonHas("xlrd"))
    GTEST_SKIP() << "python3-xlrd is not installed (scripts/setup.sh installs it)";
}

struct WorkbookCase {
  const char* name;
  Workbook workbook;
};

std::string Repeat(const std::string& unit, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i)
    out += unit;
  return out;
}

std::vector<WorkbookCase> Cases() {
  std::vector<WorkbookCase> cases;
  cases.push_back({"address book with Chinese and apostrophes",
                   {{SheetOfTexts("sheet1", {{"电话号码", "姓名", "分组", "其他"},
                                             {"13800138000", "张三", "同事", "O'Brien"},
                                             {"010-8888", "李四", "", "备注, \"引号\""},
                                             {"", "", "空号", ""}})}}});
  cases.push_back(
      {"empty list gives only titles",
       {{SheetOfTexts("sheet1", {{"电话号码", "呼叫类型", "呼叫时间", "通话时长", "状态"}})}}});
  cases.push_back(
      {"texts of 8000 characters run over into a second record",
       {{SheetOfTexts(
           "sheet1",
           {{"长"}, {Repeat("汉", 8000)}, {Repeat("a", 8000)}, {Repeat("é", 8100)}, {"after"}})}}});
  {
    // Texts that end exactly at record edges, one byte and two-byte characters mixed.
    Rows rows;
    for (int i = 0; i < 3000; ++i)
      rows.push_back({std::to_string(i) + Repeat(i % 2 ? "é" : "文", i % 37)});
    cases.push_back({"thousands of strings", {{SheetOfTexts("sheet1", rows)}}});
  }
  {
    Workbook numbers{{SheetOfTexts("Sheet1", {{"n"}})}};
    numbers.sheets[0].set(1, 0, CellValue::Number(42));
    numbers.sheets[0].set(2, 0, CellValue::Number(2.5));
    numbers.sheets[0].set(3, 2, CellValue::Number(-7));
    numbers.sheets.push_back(SheetOfTexts("第二页", {{"x", "y"}}));
    cases.push_back({"numbers and a second sheet", numbers});
  }
  return cases;
}

TEST(XlsFile, FreeXlAndXlrdReadWhatWeWrite) {
  RequireXlrd();
  TempFolder folder;
  for (const WorkbookCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::string path = folder / "case.xls";
    ASSERT_TRUE(WriteWorkbookFile(path, c.workbook));
    for (std::size_t s = 0; s < c.workbook.sheets.size(); ++s) {
      const Rows expected = SheetRows(c.workbook.sheets[s]);
      EXPECT_EQ(FreeXlRows(path, s), expected);
      EXPECT_EQ(XlrdRows(folder, path, c.workbook.sheets[s].name), expected);
    }
    std::vector<std::string> names;
    for (const Worksheet& sheet : c.workbook.sheets)
      names.push_back(sheet.name);
    EXPECT_EQ(XlrdSheetNames(folder, path), names);
  }
}

TEST(XlsFile, LargeFileNeedsMoreThanTheHeaderFatList) {
  RequireXlrd();
  TempFolder folder;
  // About 9 MB: beyond the 109 FAT sectors the header can list (about 7 MB), so the file needs
  // DIFAT sectors too.
  Rows rows{{"电话号码", "姓名"}};
  for (int i = 0; i < 12000; ++i) {
    rows.push_back({std::to_string(13800000000LL + i), std::to_string(i) + Repeat("名", 360)});
  }
  const Workbook workbook{{SheetOfTexts("sheet1", rows)}};
  const std::string path = folder / "large.xls";
  ASSERT_TRUE(WriteWorkbookFile(path, workbook));
  ASSERT_GT(testing::ReadFile(path).size(), 8u << 20);
  const Rows expected = SheetRows(workbook.sheets[0]);
  EXPECT_EQ(FreeXlRows(path, 0), expected);
  EXPECT_EQ(XlrdRows(folder, path, "sheet1"), expected);
}

TEST(XlsFile, TextsBeyondTwoRecordsAreRefusedByOurReaderNotMisread) {
  RequireXlrd();
  TempFolder folder;
  // Excel's limit is 32767 characters; FreeXL misreads texts over three records, so our reader
  // refuses the workbook, while xlrd shows that the file itself is sound.
  for (const std::string& unit : {std::string("汉"), std::string("a")}) {
    SCOPED_TRACE(unit);
    const Workbook workbook{{SheetOfTexts("sheet1", {{"长"}, {Repeat(unit, 30000)}, {"after"}})}};
    const std::string path = folder / "long.xls";
    ASSERT_TRUE(WriteWorkbookFile(path, workbook));
    EXPECT_EQ(XlrdRows(folder, path, "sheet1"), SheetRows(workbook.sheets[0]));
    EXPECT_FALSE(ReadXls(path));
  }
}

TEST(XlsFile, RefusesWhatTheFormatCannotHold) {
  Workbook tooManyRows{{Worksheet{"sheet1", {}}}};
  tooManyRows.sheets[0].set(kXlsMaxRows, 0, CellValue::Text("x"));
  EXPECT_FALSE(BuildXls(tooManyRows));
  Workbook tooWide{{Worksheet{"sheet1", {}}}};
  tooWide.sheets[0].set(0, kXlsMaxColumns, CellValue::Text("x"));
  EXPECT_FALSE(BuildXls(tooWide));
  const Workbook tooLong{{SheetOfTexts("sheet1", {{std::string(kXlsMaxTextUnits + 1, 'a')}})}};
  EXPECT_FALSE(BuildXls(tooLong));
  const Workbook fits{{SheetOfTexts("sheet1", {{std::string(kXlsMaxTextUnits, 'a')}})}};
  EXPECT_TRUE(BuildXls(fits));
}

TEST(XlsFile, LibreOfficeReadsTheSameRows) {
  if (!testing::HaveLibreOffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  TempFolder folder;
  const Workbook workbook = Cases().front().workbook;
  const std::string path = folder / "book.xls";
  ASSERT_TRUE(WriteWorkbookFile(path, workbook));
  const std::string csv =
      testing::LibreOfficeConvert(folder, path, "csv:Text - txt - csv (StarCalc):44,34,76", "csv");
  ASSERT_FALSE(csv.empty()) << "LibreOffice did not convert the workbook";
  EXPECT_EQ(testing::PythonCsvRows(folder, csv), SheetRows(workbook.sheets[0]));
}

}  // namespace
}  // namespace corvel
