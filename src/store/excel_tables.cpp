#include "store/excel_tables.h"

#include <algorithm>
#include <set>

#include "store/database.h"
#include "store/sqlite_statement.h"

namespace corvel::store_detail {
namespace {

// SQLite compares names without regard to ASCII case; so do the sheets here.
std::string Folded(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

bool SameName(std::string_view a, std::string_view b) {
  return Folded(a) == Folded(b);
}

std::string UniqueName(std::string name, std::set<std::string>& taken) {
  std::string candidate = name;
  for (int n = 1; taken.count(Folded(candidate)); ++n)
    candidate = name + std::to_string(n);
  taken.insert(Folded(candidate));
  return candidate;
}

SqlValue ToSql(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::kNumber:
      return cell.number;
    case CellValue::Kind::kText:
      return cell.text;
    case CellValue::Kind::kEmpty:
      break;
  }
  return std::monostate{};
}

CellValue ToCell(const SqlValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value))
    return CellValue::Number(static_cast<double>(*i));
  if (const auto* d = std::get_if<double>(&value)) return CellValue::Number(*d);
  if (const auto* s = std::get_if<std::string>(&value)) return CellValue::Text(*s);
  if (const auto* b = std::get_if<SqlBlob>(&value)) return CellValue::Text(b->bytes);
  return {};
}

}  // namespace

bool ExcelTables::Load(sqlite3* db, const Workbook& workbook) {
  if (!Run(db, "begin")) return false;
  std::set<std::string> tables;
  for (const Worksheet& worksheet : workbook.sheets) {
    Sheet sheet;
    std::size_t firstRow = SIZE_MAX, firstColumn = SIZE_MAX, lastRow = 0, lastColumn = 0;
    for (std::size_t r = 0; r < worksheet.rows.size(); ++r) {
      for (std::size_t c = 0; c < worksheet.rows[r].size(); ++c) {
        if (worksheet.rows[r][c].empty()) continue;
        firstRow = std::min(firstRow, r);
        firstColumn = std::min(firstColumn, c);
        lastRow = std::max(lastRow, r);
        lastColumn = std::max(lastColumn, c);
      }
    }
    // Sheet names are unique in a sound workbook; a damaged one still loses no sheet.
    sheet.name = worksheet.name;
    sheet.table = UniqueName(worksheet.name + "$", tables);
    if (sheet.table != worksheet.name + "$")
      sheet.name = sheet.table.substr(0, sheet.table.size() - 1);
    sheet.loaded = true;
    std::vector<std::string> columns;
    if (firstRow == SIZE_MAX) {
      columns.push_back("F1");
    } else {
      sheet.hasHeader = true;
      sheet.firstRow = firstRow;
      sheet.firstColumn = firstColumn;
      std::set<std::string> taken;
      for (std::size_t c = firstColumn; c <= lastColumn; ++c) {
        const CellValue& title = worksheet.at(firstRow, c);
        sheet.header.push_back(title);
        std::string name = CellText(title);
        if (name.empty()) name = "F" + std::to_string(c - firstColumn + 1);
        columns.push_back(UniqueName(name, taken));
      }
    }
    std::string create = "create table " + QuoteSqlName(sheet.table) + " (";
    std::string insert = "insert into " + QuoteSqlName(sheet.table) + " values (";
    for (std::size_t j = 0; j < columns.size(); ++j) {
      create += (j ? "," : "") + QuoteSqlName(columns[j]);
      insert += j ? ",?" : "?";
    }
    if (!Run(db, create + ")")) return false;
    if (sheet.hasHeader) {
      Statement statement = PrepareOne(db, insert + ")");
      if (!statement) return false;
      for (std::size_t r = firstRow + 1; r <= lastRow; ++r) {
        sqlite3_reset(statement.get());
        for (std::size_t j = 0; j < columns.size(); ++j) {
          if (!Bind(statement.get(), static_cast<int>(j + 1),
                    ToSql(worksheet.at(r, firstColumn + j)))) {
            return false;
          }
        }
        if (sqlite3_step(statement.get()) != SQLITE_DONE) return false;
      }
    }
    sheets_.push_back(std::move(sheet));
  }
  if (!Run(db, "commit")) return false;
  changesSeen_ = sqlite3_total_changes64(db);
  return true;
}

const ExcelTables::Sheet* ExcelTables::FindTable(const std::string& table) const {
  for (const Sheet& sheet : sheets_) {
    if (SameName(sheet.table, table)) return &sheet;
  }
  return nullptr;
}

bool ExcelTables::Reconcile(sqlite3* db) {
  std::vector<std::string> tables;
  std::vector<std::string> views;
  if (!Column(db, "select name from sqlite_master where type='table' and name not like 'sqlite_%'",
              tables) ||
      !Column(db, "select name from sqlite_master where type='view'", views)) {
    return false;
  }
  const auto exists = [](const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return SameName(n, name); });
  };
  // Dropped tables take their sheet (and the view beside it) with them.
  for (auto it = sheets_.begin(); it != sheets_.end();) {
    if (exists(tables, it->table)) {
      ++it;
      continue;
    }
    if (exists(views, it->name)) Run(db, "drop view " + QuoteSqlName(it->name));
    it = sheets_.erase(it);
    structureChanged_ = true;
  }
  bool accepted = true;
  for (const std::string& table : tables) {
    if (FindTable(table)) continue;
    Sheet sheet;
    if (!table.empty() && table.back() == '$') {
      sheet.name = table.substr(0, table.size() - 1);
      sheet.table = table;
    } else if (FindTable(table + "$")) {
      Run(db, "drop table " + QuoteSqlName(table));
      accepted = false;
      continue;
    } else {
      sheet.name = table;
      sheet.table = table + "$";
      if (!Run(db,
               "alter table " + QuoteSqlName(table) + " rename to " + QuoteSqlName(sheet.table)) ||
          !Run(db, "create view " + QuoteSqlName(table) + " as select * from " +
                       QuoteSqlName(sheet.table))) {
        Run(db, "drop table " + QuoteSqlName(table));
        accepted = false;
        continue;
      }
    }
    sheets_.push_back(std::move(sheet));
    structureChanged_ = true;
  }
  changesSeen_ = sqlite3_total_changes64(db);
  return accepted;
}

bool ExcelTables::changed(sqlite3* db) const {
  return structureChanged_ || sqlite3_total_changes64(db) != changesSeen_;
}

std::optional<Workbook> ExcelTables::Store(sqlite3* db) const {
  Workbook workbook;
  for (const Sheet& sheet : sheets_) {
    Worksheet worksheet;
    worksheet.name = sheet.name;
    Statement statement =
        PrepareOne(db, "select * from " + QuoteSqlName(sheet.table) + " order by rowid");
    if (!statement) return std::nullopt;
    const int columns = sqlite3_column_count(statement.get());
    const std::size_t top = sheet.firstRow;
    const std::size_t left = sheet.firstColumn;
    std::size_t row = top + 1;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
      for (int j = 0; j < columns; ++j) {
        CellValue cell = ToCell(ColumnValue(statement.get(), j));
        if (!cell.empty()) worksheet.set(row, left + static_cast<std::size_t>(j), std::move(cell));
      }
      ++row;
    }
    if (result != SQLITE_DONE) return std::nullopt;
    // Titles: as loaded; for new sheets, and for records added to a sheet that had none, the
    // column names.
    const bool anyRecord = row > top + 1;
    if (sheet.hasHeader || !sheet.loaded || anyRecord) {
      for (int j = 0; j < columns; ++j) {
        const std::size_t k = static_cast<std::size_t>(j);
        const char* name = sqlite3_column_name(statement.get(), j);
        CellValue title = sheet.hasHeader && k < sheet.header.size()
                              ? sheet.header[k]
                              : CellValue::Text(name ? name : "");
        if (!title.empty()) worksheet.set(top, left + k, std::move(title));
      }
    }
    workbook.sheets.push_back(std::move(worksheet));
  }
  return workbook;
}

}  // namespace corvel::store_detail
