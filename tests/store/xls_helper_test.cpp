// .xls workbooks read in the separate corvel-xls-read process: the same workbooks as the reader
// in this process gives, a hostile file that corrupts FreeXL's memory contained in the helper,
// and every way the helper can fail (missing, hanging, crashing, babbling) a clean refusal.
#include "store/xls_helper.h"

#include <gtest/gtest.h>

#include <chrono>

#include "external_tools.h"
#include "helper_scripts.h"
#include "list_rows.h"
#include "store/address_book.h"
#include "store/database.h"
#include "store/memory_list.h"
#include "store/spreadsheet_exchange.h"
#include "store/workbook_file.h"
#include "store/workbook_stream.h"
#include "store/xls_reader.h"
#include "support/temp_folder.h"
#include "workbook_rows.h"

namespace corvel {
namespace {

using testing::AddressListOf;
using testing::AddressTableRows;
using testing::EnvironmentScope;
using testing::HelperScript;
using testing::ProcessGone;
using testing::ReadFile;
using testing::Rows;
using testing::ScriptPid;
using testing::TempFolder;

const std::string kFuzzDir = CORVEL_TEST_STORE_FUZZ_DIR;
const std::string kHostile = kFuzzDir + "/freexl-findings/iconv-stack-underflow.xls";
const std::string kBuiltHelper = CORVEL_TEST_XLS_READ;
constexpr XlsHelperLimits kShort{1 << 20, 1000};

const Rows kKept = {{"1", "keep", "", ""}};

TEST(XlsHelper, TheBuildsHelperIsTheOneUsed) {
  EXPECT_EQ(FindXlsHelper(XlsHelperPlaces::FromProcess()), kBuiltHelper);
}

TEST(XlsHelper, ReadsTheSameWorkbooksAsTheReaderInThisProcess) {
  // The committed fuzzing inputs: our own and xlwt's workbooks, ones FreeXL or our string check
  // refuse, and bytes that are no workbook. All trusted, so reading them here too is safe.
  int read = 0;
  for (const char* name : {"ours-ascii.xls", "ours-chinese.xls", "ours-three-records.xls",
                           "xlwt-numbers.xls", "xlwt-truncated.xls", "text.bin"}) {
    SCOPED_TRACE(name);
    const std::string path = kFuzzDir + "/corpus/" + name;
    const auto here = ReadXls(path);
    EXPECT_EQ(ReadXlsInHelper(path, kBuiltHelper, XlsHelperLimits{}), here);
    EXPECT_EQ(ReadXlsInHelper(path), here) << "as the import finds the helper";
    read += here ? 1 : 0;
  }
  EXPECT_EQ(read, 3) << "three of them are readable workbooks";

  // A workbook of our writer with numbers, empty cells and a second sheet.
  TempFolder folder;
  Workbook workbook{{testing::SheetOfTexts("sheet1", {{"电话号码", "", "其他"}, {"", "张三"}}),
                     testing::SheetOfTexts("第二页", {{"x"}})}};
  workbook.sheets[0].set(3, 1, CellValue::Number(-7.25));
  ASSERT_TRUE(WriteWorkbookFile(folder / "ours.xls", workbook));
  const auto viaHelper = ReadXlsInHelper(folder / "ours.xls");
  ASSERT_TRUE(viaHelper);
  EXPECT_EQ(*viaHelper, *ReadXls(folder / "ours.xls"));
  EXPECT_EQ(testing::SheetRows(viaHelper->sheets[0]), testing::SheetRows(workbook.sheets[0]));
  EXPECT_EQ(viaHelper->sheets[1].name, "第二页");
}

TEST(XlsHelper, HelperAnswersWithTheStreamOrExitsOneWithNothing) {
  const testing::RunResult good =
      testing::RunCommand("'" + kBuiltHelper + "' '" + kFuzzDir + "/corpus/xlwt-numbers.xls'");
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(DecodeWorkbook(good.output), ReadXls(kFuzzDir + "/corpus/xlwt-numbers.xls"));
  const testing::RunResult bad =
      testing::RunCommand("'" + kBuiltHelper + "' '" + kFuzzDir + "/corpus/text.bin'");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.output, "");
  EXPECT_EQ(testing::RunCommand("'" + kBuiltHelper + "' 2>/dev/null").status, 2);
}

TEST(Import, HostileWorkbookImportsNothingAndLeavesThisProcessUnharmed) {
  // In this process FreeXL would corrupt the stack here (an AddressSanitizer build stops at
  // it); in the helper only the helper is affected.
  TempFolder folder;
  MemoryList list = AddressListOf(kKept);
  ImportAddressBook(list, kHostile, folder / "AddressList.db");
  EXPECT_EQ(list.rows(), kKept);
  EXPECT_EQ(AddressTableRows(folder / "AddressList.db"), kKept) << "the save still runs";
  EXPECT_FALSE(ReadWorkbookFile(kHostile));
  EXPECT_FALSE(OpenExcelDb(kHostile));

  // And the process goes on working: a sound workbook imports afterwards.
  ImportAddressBook(list, kFuzzDir + "/corpus/ours-chinese.xls", folder / "AddressList.db");
  EXPECT_EQ(list.rows(), (Rows{{"张三张三张三", "", "", ""}, {"after", "", "", ""}, kKept[0]}));
}

TEST(Import, WorkbooksOfXlwtAndOursImportTheSameRowsAsBefore) {
  TempFolder folder;
  // Made by xlwt: sheet "Sheet1" with numbers and texts, and a second sheet.
  MemoryList fromXlwt = AddressListOf(kKept);
  ImportAddressBook(fromXlwt, kFuzzDir + "/corpus/xlwt-numbers.xls", folder / "a.db");
  EXPECT_EQ(
      fromXlwt.rows(),
      (Rows{{"13800138000", "张三", "", ""}, {"2.5", "", "", ""}, {"", "", "x", ""}, kKept[0]}));
  // Made by our writer.
  MemoryList fromOurs = AddressListOf({});
  ImportAddressBook(fromOurs, kFuzzDir + "/corpus/ours-ascii.xls", folder / "b.db");
  EXPECT_EQ(fromOurs.rows(), (Rows{{"abab", "", "", ""}, {"after", "", "", ""}}));
  EXPECT_EQ(AddressTableRows(folder / "b.db"), fromOurs.rows());
}

TEST(Import, WithoutTheHelperXlsIsRefusedNotReadHere) {
  TempFolder folder;
  const std::string good = kFuzzDir + "/corpus/ours-ascii.xls";
  testing::WriteFile(folder / "not-executable", "#!/bin/sh\nexit 0\n");
  for (const std::string& helper : {folder / "missing", folder / "not-executable", folder.path()}) {
    SCOPED_TRACE(helper);
    const EnvironmentScope variable(kXlsHelperVariable, helper.c_str());
    MemoryList list = AddressListOf(kKept);
    ImportAddressBook(list, good, folder / "AddressList.db");
    EXPECT_EQ(list.rows(), kKept);
    EXPECT_FALSE(ReadWorkbookFile(good));
  }
  // Other formats do not need it.
  const EnvironmentScope variable(kXlsHelperVariable, (folder / "missing").c_str());
  testing::WriteFile(folder / "book.csv", "号,名\r\n110,张三\r\n");
  MemoryList list = AddressListOf({});
  ImportAddressBook(list, folder / "book.csv", folder / "AddressList.db");
  EXPECT_EQ(list.rows(), (Rows{{"110", "张三", "", ""}}));
}

TEST(XlsHelper, FoundInTheVariableThenBesideTheExecutableThenInItsInstalledTree) {
  TempFolder folder;
  const std::string beside = HelperScript(folder, "corvel-xls-read", "exit 1");
  testing::WriteFile(folder / "elsewhere/corvel-xls-read", "");  // not executable
  const std::string installed = HelperScript(folder, "installed-helper", "exit 1");

  EXPECT_EQ(FindXlsHelper({"/named/one", folder.path(), installed}), "/named/one");
  EXPECT_EQ(FindXlsHelper({"", folder.path(), installed}), "") << "set, even to nothing";
  EXPECT_EQ(FindXlsHelper({std::nullopt, folder.path(), installed}), beside);
  EXPECT_EQ(
      FindXlsHelper({std::nullopt, folder.path().substr(0, folder.path().size() - 1), installed}),
      beside);
  EXPECT_EQ(FindXlsHelper({std::nullopt, folder / "elsewhere/", installed}), installed);
  EXPECT_EQ(FindXlsHelper({std::nullopt, "", installed}), installed);
  EXPECT_EQ(FindXlsHelper({std::nullopt, folder / "elsewhere/", folder / "missing"}), "");
  // An installed tree, whatever its prefix: bin/ beside libexec/corvel/.
  std::filesystem::create_directories(folder / "usr/bin");
  std::filesystem::create_directories(folder / "usr/libexec/corvel");
  const std::string packaged = HelperScript(folder, "usr/libexec/corvel/corvel-xls-read", "exit 1");
  EXPECT_EQ(FindXlsHelper({std::nullopt, folder / "usr/bin/", folder / "missing"}),
            folder / "usr/bin/../libexec/corvel/corvel-xls-read");
  EXPECT_TRUE(std::filesystem::equivalent(
      FindXlsHelper({std::nullopt, folder / "usr/bin/", installed}), packaged));
}

// A stand-in helper that answers with a given stream and then ends as the body says.
std::string AnsweringHelper(const TempFolder& folder, const std::string& name,
                            const std::string& stream, const std::string& then) {
  testing::WriteFile(folder / (name + ".answer"), stream);
  return HelperScript(folder, name, "cat '" + folder / (name + ".answer") + "'; " + then);
}

TEST(XlsHelper, OnlyAWholeStreamAndSuccessAreAccepted) {
  TempFolder folder;
  const std::string book = kFuzzDir + "/corpus/ours-chinese.xls";
  const auto expected = ReadXls(book);
  ASSERT_TRUE(expected);
  const std::string stream = EncodeWorkbook(*expected);

  // The stand-ins can answer: the refusals below are about what they answer.
  EXPECT_EQ(ReadXlsInHelper(book, AnsweringHelper(folder, "good", stream, "exit 0"), kShort),
            expected);
  struct Case {
    const char* name;
    std::string stream;
    const char* then;
  } cases[] = {
      {"garbage", "garbage, not a workbook", "exit 0"},
      {"nothing", "", "exit 0"},
      {"truncated", stream.substr(0, stream.size() - 3), "exit 0"},
      {"trailing bytes", stream + "x", "exit 0"},
      {"failure status", stream, "exit 1"},
      {"other status", stream, "exit 42"},
      {"crash after answering", stream, "kill -SEGV $$"},
      {"abort after answering", stream, "kill -ABRT $$"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(ReadXlsInHelper(book, AnsweringHelper(folder, c.name, c.stream, c.then), kShort));
  }

  // Through the import, with the variable naming a babbling stand-in.
  const EnvironmentScope variable(kXlsHelperVariable,
                                  AnsweringHelper(folder, "import", "garbage", "exit 0").c_str());
  MemoryList list = AddressListOf(kKept);
  ImportAddressBook(list, book, folder / "AddressList.db");
  EXPECT_EQ(list.rows(), kKept);
}

TEST(XlsHelper, HangingHelperIsKilledAndReaped) {
  TempFolder folder;
  const std::string script = HelperScript(folder, "hang", "exec sleep 30");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadXlsInHelper(kFuzzDir + "/corpus/ours-ascii.xls", script, kShort));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const pid_t pid = ScriptPid(script);
  ASSERT_GT(pid, 0) << "the stand-in did not start within the time limit";
  EXPECT_TRUE(ProcessGone(pid)) << "still running or not reaped";
}

TEST(XlsHelper, OverlongAnswerIsRefused) {
  TempFolder folder;
  const std::string book = kFuzzDir + "/corpus/ours-chinese.xls";
  const std::string stream = EncodeWorkbook(*ReadXls(book));
  const std::string script = AnsweringHelper(folder, "answer", stream, "exit 0");
  EXPECT_TRUE(ReadXlsInHelper(book, script, {stream.size(), 10000}));
  EXPECT_FALSE(ReadXlsInHelper(book, script, {stream.size() - 1, 10000}));
}

}  // namespace
}  // namespace corvel
