#include "store/address_book.h"

#include <sys/stat.h>

#include "media/toolkit/text_codec.h"
#include "store/database.h"
#include "store/guarded.h"
#include "store/legacy_address_book.h"
#include "store/list_fill.h"

namespace corvel {
namespace {

// Titles are read as into the list header's 256-byte buffer, never cut inside a character.
constexpr std::size_t kMaxTitleBytes = 255;

std::string Title(const ListModel& list, int column) {
  return std::string(CutUtf8(list.columnTitle(column), kMaxTitleBytes));
}

bool Usable(const std::string& path, const std::string& table, const ListModel* list) {
  return !path.empty() && !table.empty() && list && list->hasHeader();
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

// AddressList.db -> AddressList.mdb in the same folder.
std::string LegacyPathFor(const std::string& databasePath) {
  const std::size_t slash = databasePath.find_last_of('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : databasePath.substr(0, slash + 1);
  return folder + std::string(kLegacyAddressBookFile);
}

// Adds rows [0, rows) of the list through one recordset; the first AddNewRecord of each row
// also stores the row before it.
void AddRows(const Recordset& recordset, const ListModel& list) {
  const int columns = list.columnCount();
  for (int i = 0; i < list.rowCount() && recordset; ++i) {
    AddNewRecord(recordset);
    for (int j = 0; j < columns; ++j)
      SetFieldText(recordset, j, list.cellText(i, j));
  }
}

}  // namespace

std::vector<std::string> AddressBookColumns() {
  return {"电话号码", "姓名", "分组", "其他"};
}

void LoadAddressBook(ListModel& list, const std::string& databasePath) {
  store_detail::Guarded(0, [&] {
    if (!FileExists(databasePath)) {
      const std::string legacy = LegacyPathFor(databasePath);
      if (FileExists(legacy)) MigrateLegacyAddressBook(databasePath, legacy);
    }
    const Connection connection = OpenAccessDb(databasePath);
    const Recordset recordset =
        OpenRecordset(connection, "select * from " + QuoteSqlName(kAddressBookTable), kOpenDynamic);
    if (recordset) {
      FillListFromRecordset(&list, recordset);
      CloseRecordset(recordset);
    }
    CloseConnection(connection);
    return 0;
  });
}

void DeleteSelectedContact(ListModel& list, const std::string& databasePath) {
  store_detail::Guarded(0, [&] {
    const int row = list.selectedRow();
    if (row < 0) return 0;
    const std::string number = list.cellText(row, 0);
    list.DeleteRow(row);
    const Connection connection = OpenAccessDb(databasePath);
    const Recordset result = ExecuteSql(connection,
                                        "delete from " + QuoteSqlName(kAddressBookTable) +
                                            " where " + QuoteSqlName("电话号码") + "=?",
                                        {number});
    CloseRecordset(result);
    CloseConnection(connection);
    return 0;
  });
}

int SaveListToTable(const std::string& path, const std::string& table, ListModel* list,
                    int keyColumn) {
  if (!Usable(path, table, list)) return -1;
  return store_detail::Guarded(0, [&] {
    const std::string name = QuoteSqlName(table);
    const Connection connection = OpenAccessDb(path);
    const Recordset probe = ExecuteSql(connection, "select * from " + name);
    if (!probe) {
      CloseConnection(connection);
      return CreateTableFromList(path, table, list);
    }
    CloseRecordset(probe);
    const int columns = list->columnCount();
    const int key = keyColumn < 0 ? 0 : keyColumn;
    std::vector<std::string> titles;
    for (int j = 0; j < columns; ++j)
      titles.push_back(QuoteSqlName(Title(*list, j)));
    const std::string keyTitle = QuoteSqlName(Title(*list, key));
    std::string assignments;
    for (int j = 0; j < columns; ++j)
      assignments += (j ? "," : "") + titles[static_cast<std::size_t>(j)] + "=?";
    const std::string find = "select * from " + name + " where " + keyTitle + "=?";
    const std::string update =
        "update " + name + " set " + assignments + " where " + keyTitle + "=?";

    // One transaction for the whole list: a large import is stored in one write, and a failure
    // part way leaves the table as it was. The (non-unique) index on the key keeps each row's
    // look-up from reading the whole table; it changes no result.
    CloseRecordset(ExecuteSql(connection, "begin"));
    CloseRecordset(ExecuteSql(connection, "create index if not exists " +
                                              QuoteSqlName(table + "_" + Title(*list, key)) +
                                              " on " + name + " (" + keyTitle + ")"));
    for (int i = 0; i < list->rowCount(); ++i) {
      const std::string keyText = list->cellText(i, key);
      Recordset found = OpenRecordset(connection, find, kOpenDynamic, {keyText});
      if (found && GetRecordCount(found) >= 1) {
        CloseRecordset(found);
        SqlParams values;
        for (int j = 0; j < columns; ++j)
          values.push_back(list->cellText(i, j));
        values.push_back(keyText);
        CloseRecordset(ExecuteSql(connection, update, values));
        continue;
      }
      if (!found) found = OpenRecordset(connection, "select * from " + name, kOpenDynamic);
      AddNewRecord(found);
      for (int j = 0; j < columns && found; ++j)
        SetFieldText(found, j, list->cellText(i, j));
      UpdateRecord(found);
      CloseRecordset(found);
    }
    if (!ExecuteSql(connection, "commit")) CloseRecordset(ExecuteSql(connection, "rollback"));
    CloseConnection(connection);
    return 0;
  });
}

int CreateTableFromList(const std::string& path, const std::string& table, ListModel* list) {
  if (!Usable(path, table, list)) return -1;
  return store_detail::Guarded(0, [&] {
    std::string columns;
    for (int j = 0; j < list->columnCount(); ++j) {
      const std::string title = Title(*list, j);
      if (title.empty()) continue;
      columns += (columns.empty() ? "" : ",") + QuoteSqlName(title) + " TEXT";
    }
    const std::string name = QuoteSqlName(table);
    Connection connection = OpenAccessDb(path);
    if (!connection) {
      CreateAccessDb(path);
      connection = OpenAccessDb(path);
    }
    CloseRecordset(ExecuteSql(connection, "create table " + name + " (" + columns + ")"));
    CloseRecordset(ExecuteSql(connection, "begin"));
    const Recordset recordset = OpenRecordset(connection, "select * from " + name, kOpenDynamic);
    AddRows(recordset, *list);
    UpdateRecord(recordset);
    CloseRecordset(recordset);
    if (!ExecuteSql(connection, "commit")) CloseRecordset(ExecuteSql(connection, "rollback"));
    CloseConnection(connection);
    return 0;
  });
}

}  // namespace corvel
