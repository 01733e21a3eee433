// Lists filled from rows of texts, and the address book table read back as rows.
#pragma once

#include <string>
#include <vector>

#include "external_tools.h"
#include "store/address_book.h"
#include "store/database.h"
#include "store/memory_list.h"

namespace corvel::testing {

inline MemoryList ListOf(const std::vector<std::string>& columns, const Rows& rows) {
  MemoryList list = MemoryList::WithColumns(columns);
  for (const auto& row : rows) {
    const int i = list.InsertRow(list.rowCount());
    for (std::size_t j = 0; j < row.size(); ++j)
      list.SetCellText(i, static_cast<int>(j), row[j]);
  }
  return list;
}

inline MemoryList AddressListOf(const Rows& rows) {
  return ListOf(AddressBookColumns(), rows);
}

// The address book table's records in the order stored.
inline Rows AddressTableRows(const std::string& path) {
  const Connection connection = OpenAccessDb(path);
  const Recordset rs =
      OpenRecordset(connection, "select * from 通讯录 order by rowid", kOpenDynamic);
  Rows rows;
  for (int i = 0; i < GetRecordCount(rs); ++i, MoveRecord(rs, MoveDirection::kNext)) {
    std::vector<std::string> row;
    for (int j = 0; j < GetFieldCount(rs); ++j)
      row.push_back(GetFieldText(rs, j));
    rows.push_back(row);
  }
  CloseRecordset(rs);
  CloseConnection(connection);
  return rows;
}

}  // namespace corvel::testing
