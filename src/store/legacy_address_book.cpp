#include "store/legacy_address_book.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "store/address_book.h"
#include "store/database.h"
#include "store/guarded.h"

namespace corvel {
namespace {

bool Exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// Removes the partly made file however the copy ends, unless it was moved into place.
class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) { unlink(path_.c_str()); }
  ~PartialFile() { unlink(path_.c_str()); }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

bool CopyLegacyRows(const std::string& databasePath, RowSource& source) {
  return store_detail::Guarded(false, [&] {
    if (databasePath.empty() || Exists(databasePath) || source.columns().empty()) return false;
    const PartialFile file(databasePath + ".migrating");
    const std::string& partial = file.path();
    if (CreateAccessDb(partial) != 0) return false;
    bool ok = false;
    {
      const Connection connection = OpenAccessDb(partial);
      std::string columns;
      for (const std::string& column : source.columns()) {
        columns += (columns.empty() ? "" : ",") + QuoteSqlName(column) + " TEXT";
      }
      const std::string table = QuoteSqlName(kAddressBookTable);
      ok = static_cast<bool>(
               ExecuteSql(connection, "create table " + table + " (" + columns + ")")) &&
           static_cast<bool>(ExecuteSql(connection, "begin"));
      const Recordset recordset = OpenRecordset(connection, "select * from " + table, kOpenDynamic);
      ok = ok && recordset;
      std::vector<std::string> row;
      while (ok && source.Next(row)) {
        ok = AddNewRecord(recordset) == 0;
        for (std::size_t j = 0; ok && j < row.size() && j < source.columns().size(); ++j) {
          ok = SetFieldText(recordset, static_cast<int>(j), row[j]) == 0;
        }
      }
      ok = ok && UpdateRecord(recordset) == 0 && CloseRecordset(recordset) == 0 &&
           static_cast<bool>(ExecuteSql(connection, "commit"));
      ok = CloseConnection(connection) == 0 && ok;
    }
    return ok && !Exists(databasePath) && std::rename(partial.c_str(), databasePath.c_str()) == 0;
  });
}

bool MigrateLegacyAddressBook(const std::string& databasePath, const std::string& legacyPath) {
  return store_detail::Guarded(false, [&] {
    const std::unique_ptr<RowSource> source =
        OpenMdbTable(legacyPath, std::string(kAddressBookTable));
    return source && CopyLegacyRows(databasePath, *source);
  });
}

}  // namespace corvel
