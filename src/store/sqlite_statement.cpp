#include "store/sqlite_statement.h"

#include "store/cell_value.h"

namespace corvel::store_detail {

Statement PrepareOne(sqlite3* db, std::string_view sql) {
  if (!db || sql.empty() || sql.size() > 0x7FFFFFFF) return {};
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  if (sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail) != SQLITE_OK) {
    sqlite3_finalize(raw);
    return {};
  }
  Statement statement(raw);
  if (!statement) return {};  // only blanks or a comment
  for (const char* p = tail; p && p < sql.data() + sql.size(); ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') return {};
  }
  return statement;
}

bool Bind(sqlite3_stmt* statement, int index, const SqlValue& value) {
  int result = SQLITE_OK;
  if (std::holds_alternative<std::monostate>(value)) {
    result = sqlite3_bind_null(statement, index);
  } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
    result = sqlite3_bind_int64(statement, index, *i);
  } else if (const auto* d = std::get_if<double>(&value)) {
    result = sqlite3_bind_double(statement, index, *d);
  } else if (const auto* s = std::get_if<std::string>(&value)) {
    result =
        sqlite3_bind_text64(statement, index, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  } else if (const auto* b = std::get_if<SqlBlob>(&value)) {
    result =
        sqlite3_bind_blob64(statement, index, b->bytes.data(), b->bytes.size(), SQLITE_TRANSIENT);
  }
  return result == SQLITE_OK;
}

SqlValue ColumnValue(sqlite3_stmt* statement, int column) {
  switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
      return static_cast<std::int64_t>(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
      return sqlite3_column_double(statement, column);
    case SQLITE_TEXT: {
      const auto* text = sqlite3_column_text(statement, column);
      const int bytes = sqlite3_column_bytes(statement, column);
      return std::string(reinterpret_cast<const char*>(text),
                         text ? static_cast<std::size_t>(bytes) : 0);
    }
    case SQLITE_BLOB: {
      const void* blob = sqlite3_column_blob(statement, column);
      const int bytes = sqlite3_column_bytes(statement, column);
      return SqlBlob{
          std::string(static_cast<const char*>(blob), blob ? static_cast<std::size_t>(bytes) : 0)};
    }
    default:
      return std::monostate{};
  }
}

bool Run(sqlite3* db, std::string_view sql, const std::vector<SqlValue>& params) {
  Statement statement = PrepareOne(db, sql);
  if (!statement) return false;
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!Bind(statement.get(), static_cast<int>(i + 1), params[i])) return false;
  }
  int result = SQLITE_ROW;
  while (result == SQLITE_ROW)
    result = sqlite3_step(statement.get());
  return result == SQLITE_DONE;
}

bool Column(sqlite3* db, std::string_view sql, std::vector<std::string>& out) {
  Statement statement = PrepareOne(db, sql);
  if (!statement) return false;
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    out.push_back(ValueText(ColumnValue(statement.get(), 0)));
  }
  return result == SQLITE_DONE;
}

std::string ValueText(const SqlValue& value) {
  if (const auto* i = std::get_if<std::int64_t>(&value)) return std::to_string(*i);
  if (const auto* d = std::get_if<double>(&value)) return NumberText(*d);
  if (const auto* s = std::get_if<std::string>(&value)) return *s;
  if (const auto* b = std::get_if<SqlBlob>(&value)) return b->bytes;
  return {};
}

}  // namespace corvel::store_detail
