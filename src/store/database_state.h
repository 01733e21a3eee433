// What the handles of database.h share: an open SQLite connection (a file, or an in-memory
// copy of a workbook) and the rows of a recordset with its edit buffer. Private to the store.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "store/excel_tables.h"
#include "store/sqlite_statement.h"

namespace corvel::store_detail {

struct ConnectionState {
  enum class Kind { kAccess, kExcel };

  Kind kind = Kind::kAccess;
  std::string path;
  std::string connectionString;
  Database db;                          // empty once closed
  std::unique_ptr<ExcelTables> sheets;  // workbooks only

  ConnectionState() = default;
  ConnectionState(const ConnectionState&) = delete;
  ConnectionState& operator=(const ConnectionState&) = delete;
  // A connection nobody closed is closed now, so a changed workbook is not lost.
  ~ConnectionState() { Close(); }

  // 0, or -2 when a changed workbook could not be written (the connection is closed anyway).
  int Close() noexcept;
};

struct RecordsetState {
  enum class Edit { kNone, kEditing, kAdding };

  std::shared_ptr<ConnectionState> connection;
  bool open = false;
  bool updatable = false;
  std::string database;  // where the rows come from, when updatable
  std::string table;
  std::vector<std::string> names;    // result columns
  std::vector<std::string> origins;  // their columns in the table
  std::vector<std::vector<SqlValue>> rows;
  std::ptrdiff_t position = 0;  // -1: before the first record; rows.size(): after the last

  Edit edit = Edit::kNone;
  std::vector<SqlValue> buffer;  // the record being added or edited
  std::vector<bool> touched;     // fields set since

  bool atBof() const { return rows.empty() || position < 0; }
  bool hasCurrent() const {
    return position >= 0 && static_cast<std::size_t>(position) < rows.size();
  }
};

}  // namespace corvel::store_detail
