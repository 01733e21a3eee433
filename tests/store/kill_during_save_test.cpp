// A save stopped at any moment by kill -9 (as a crash or a power cut stops it) leaves either the
// content before it or the new content, whole: the address book, exported workbooks and the
// remembered accounts (data.dat).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <string>

#include "app/account_file.h"
#include "list_rows.h"
#include "store/workbook_file.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Rows;
using testing::TempFolder;

constexpr int kRows = 3000;
constexpr int kRounds = 20;

// Two versions of the same large content, told apart in every row.
Rows Version(int version) {
  Rows rows;
  for (int i = 0; i < kRows; ++i) {
    rows.push_back({std::to_string(13900000000LL + i),
                    "联系人" + std::to_string(i) + "v" + std::to_string(version),
                    "分组" + std::to_string(i % 7), "备注 " + std::to_string(version)});
  }
  return rows;
}

Workbook WorkbookOf(const Rows& rows) {
  Workbook book;
  book.sheets.push_back({"通讯录", {}});
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size(); ++c)
      book.sheets[0].set(r, c, CellValue::Text(rows[r][c]));
  return book;
}

struct SaveCase {
  const char* what;
  const char* file;
  std::function<bool(const std::string& path, const Rows& rows)> save;
  std::function<Rows(const std::string& path)> read;  // empty when nothing whole can be read
  std::size_t columns = 4;                            // how many of each row's texts it keeps
};

Rows Leading(const Rows& rows, std::size_t columns) {
  Rows out;
  for (const auto& row : rows)
    out.emplace_back(row.begin(), row.begin() + static_cast<long>(columns));
  return out;
}

Rows WorkbookRows(const std::string& path) {
  const std::optional<Workbook> book = ReadWorkbookFile(path);
  if (!book || book->sheets.empty()) return {};
  Rows rows;
  for (const CellRow& row : book->sheets[0].rows) {
    std::vector<std::string> texts;
    for (const CellValue& cell : row)
      texts.push_back(CellText(cell));
    rows.push_back(texts);
  }
  return rows;
}

Block64 BlockOf(const std::string& text) {
  Block64 block{};
  std::copy_n(text.begin(), std::min(text.size(), block.size()), block.begin());
  return block;
}

// The remembered accounts: one account block per row, the row's first two texts in it.
bool SaveAccounts(const std::string& path, const Rows& rows) {
  std::vector<SavedAccountBlocks> entries;
  for (const auto& row : rows)
    entries.push_back({BlockOf(row[0]), BlockOf(row[1])});
  return WriteAccountFile(path, BlockOf("agent"), BlockOf(rows[0][0]), entries);
}

Rows ReadAccounts(const std::string& path) {
  const std::optional<AccountFileContents> contents = ReadAccountFile(path);
  if (!contents) return {};
  const auto text = [](const Block64& block) {
    return std::string(reinterpret_cast<const char*>(block.data()),
                       std::find(block.begin(), block.end(), 0) - block.begin());
  };
  Rows rows;
  for (const SavedAccountBlocks& entry : contents->entries)
    rows.push_back({text(entry.account), text(entry.password)});
  return rows;
}

const SaveCase kCases[] = {
    {"address book", "AddressList.db",
     [](const std::string& path, const Rows& rows) {
       MemoryList list = testing::AddressListOf(rows);
       return SaveListToTable(path, "通讯录", &list, 0) == 0;
     },
     [](const std::string& path) { return testing::AddressTableRows(path); }},
    {"exported .csv", "records.csv",
     [](const std::string& path, const Rows& rows) {
       return WriteWorkbookFile(path, WorkbookOf(rows));
     },
     WorkbookRows},
    {"exported .xlsx", "records.xlsx",
     [](const std::string& path, const Rows& rows) {
       return WriteWorkbookFile(path, WorkbookOf(rows));
     },
     WorkbookRows},
    {"remembered accounts", "data.dat", SaveAccounts, ReadAccounts, 2},
};

class KillDuringSaveTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(KillDuringSaveTest, LeavesTheOldOrTheNewContentWhole) {
  const SaveCase& c = GetParam();
  TempFolder folder;
  const std::string path = folder / c.file;
  const Rows versions[] = {Version(0), Version(1)};
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(c.save(path, versions[0]));
  const auto saveUs = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count();
  std::mt19937 random(20261211);
  // Mostly inside the save, sometimes after it.
  std::uniform_int_distribution<long> delayUs(0, 3 * saveUs);
  int old = 0, renewed = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_TRUE(c.save(path, versions[round % 2]));
    const Rows before = Leading(versions[round % 2], c.columns);
    const Rows next = Leading(versions[(round + 1) % 2], c.columns);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(c.save(path, versions[(round + 1) % 2]) ? 0 : 1);
    usleep(static_cast<useconds_t>(delayUs(random)));
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const Rows found = c.read(path);
    if (found == before) {
      ++old;
    } else {
      ASSERT_EQ(found, next) << c.what << " is neither the old content nor the new one ("
                             << found.size() << " rows)";
      ++renewed;
    }
  }
  std::printf(
      "%s: a save takes %.1f ms; killed in %d rounds: %d kept the old content, %d the new\n",
      c.what, saveUs / 1000.0, kRounds, old, renewed);
  // Kills landed inside saves, not only after them.
  EXPECT_GT(old, 0);
}

INSTANTIATE_TEST_SUITE_P(Files, KillDuringSaveTest, ::testing::ValuesIn(kCases),
                         [](const auto& test) {
                           std::string name = test.param.file;
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
}  // namespace corvel
