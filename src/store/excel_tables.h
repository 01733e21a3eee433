// The worksheets of a workbook as tables of an in-memory SQLite database, named as the Excel
// driver names them ("Sheet1$"), and the way back to a workbook when they have changed.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/workbook.h"

namespace corvel::store_detail {

class ExcelTables {
 public:
  // One table per worksheet: the first used row gives the column names (empty titles become
  // F1, F2 ... by position, repeated ones get a number), the rows below are the records with
  // numbers as numbers and texts as texts; trailing empty rows are left out. False on failure.
  bool Load(sqlite3* db, const Workbook& workbook);

  // After a statement changed the schema: a new table X becomes sheet X (kept as table X$ with
  // X beside it), a new table X$ sheet X, a dropped table's sheet goes. False when the statement
  // made a table for a sheet that exists; that table is dropped again, as the driver refuses it.
  bool Reconcile(sqlite3* db);

  // Whether anything differs from what was loaded.
  bool changed(sqlite3* db) const;

  // The workbook as it now stands: loaded sheets keep their titles and their place on the
  // sheet, new sheets start at A1 with their column names as titles.
  std::optional<Workbook> Store(sqlite3* db) const;

 private:
  struct Sheet {
    std::string name;
    std::string table;  // name + "$"
    bool loaded = false;
    bool hasHeader = false;
    CellRow header;
    std::size_t firstRow = 0;
    std::size_t firstColumn = 0;
  };

  const Sheet* FindTable(const std::string& table) const;

  std::vector<Sheet> sheets_;
  bool structureChanged_ = false;
  sqlite3_int64 changesSeen_ = 0;
};

}  // namespace corvel::store_detail
