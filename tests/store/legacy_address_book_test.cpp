#include "store/legacy_address_book.h"

#include <gtest/gtest.h>

#include "store/address_book.h"
#include "store/database.h"
#include "store/memory_list.h"
#include "support/temp_folder.h"

namespace corvel {
namespace {

using testing::Exists;
using testing::ReadFile;
using testing::TempFolder;
using testing::WriteFile;
using Rows = std::vector<std::vector<std::string>>;

class FakeRows final : public RowSource {
 public:
  FakeRows(std::vector<std::string> columns, Rows rows, std::size_t failAfter = SIZE_MAX)
      : columns_(std::move(columns)), rows_(std::move(rows)), failAfter_(failAfter) {}
  const std::vector<std::string>& columns() const override { return columns_; }
  bool Next(std::vector<std::string>& row) override {
    if (next_ >= rows_.size()) return false;
    if (next_ == failAfter_) throw std::bad_alloc();
    row = rows_[next_++];
    return true;
  }

 private:
  std::vector<std::string> columns_;
  Rows rows_;
  std::size_t failAfter_;
  std::size_t next_ = 0;
};

const Rows kRows = {
    {"110", "张三", "同事", "O'Brien"}, {"120", "", "", ""}, {"110", "重复", "", ""}};

TEST(LegacyAddressBook, RowsAreCopiedOnceIntoANewDatabase) {
  TempFolder folder;
  const std::string db = folder / "AddressList.db";
  FakeRows source(AddressBookColumns(), kRows);
  ASSERT_TRUE(CopyLegacyRows(db, source));
  MemoryList list = MemoryList::WithColumns(AddressBookColumns());
  LoadAddressBook(list, db);
  EXPECT_EQ(list.rows(), kRows) << "every row, repeats too, as the old file held them";

  FakeRows again(AddressBookColumns(), {{"999", "", "", ""}});
  EXPECT_FALSE(CopyLegacyRows(db, again)) << "an existing address book is never replaced";
  MemoryList after = MemoryList::WithColumns(AddressBookColumns());
  LoadAddressBook(after, db);
  EXPECT_EQ(after.rowCount(), 3);
}

TEST(LegacyAddressBook, FailureLeavesNoHalfMadeFile) {
  TempFolder folder;
  const std::string db = folder / "AddressList.db";
  FakeRows failing(AddressBookColumns(), kRows, 2);
  EXPECT_FALSE(CopyLegacyRows(db, failing));
  EXPECT_FALSE(Exists(db));
  EXPECT_FALSE(Exists(db + ".migrating"));
  FakeRows noColumns({}, {});
  EXPECT_FALSE(CopyLegacyRows(db, noColumns));
  EXPECT_FALSE(Exists(db));
}

TEST(LegacyAddressBook, StartUpLoadMigratesAnMdbBesideAMissingDatabase) {
  TempFolder folder;
  // Not a Jet file: libmdb refuses it, nothing is made, the file stays as it was, and the
  // next start tries again.
  const std::string mdb = folder / "AddressList.mdb";
  WriteFile(mdb, std::string(4096, '\x01'));
  MemoryList list = MemoryList::WithColumns(AddressBookColumns());
  LoadAddressBook(list, folder / "AddressList.db");
  EXPECT_EQ(list.rowCount(), 0);
  EXPECT_FALSE(Exists(folder / "AddressList.db"));
  EXPECT_EQ(ReadFile(mdb), std::string(4096, '\x01'));
  EXPECT_FALSE(OpenMdbTable(mdb, "通讯录"));
  EXPECT_FALSE(OpenMdbTable(folder / "missing.mdb", "通讯录"));
}

}  // namespace
}  // namespace corvel
