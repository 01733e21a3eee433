// Small owning wrappers over SQLite statements and the values they bind and return.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvel::store_detail {

struct SqlBlob {
  std::string bytes;
  friend bool operator==(const SqlBlob&, const SqlBlob&) = default;
};

using SqlValue = std::variant<std::monostate, std::int64_t, double, std::string, SqlBlob>;

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

// Exactly one statement: none when it does not compile or more text than blanks and
// semicolons follows it (a second statement is refused, not silently dropped).
Statement PrepareOne(sqlite3* db, std::string_view sql);

bool Bind(sqlite3_stmt* statement, int index, const SqlValue& value);
SqlValue ColumnValue(sqlite3_stmt* statement, int column);

// Runs a statement that returns no rows; false on any error.
bool Run(sqlite3* db, std::string_view sql, const std::vector<SqlValue>& params = {});

// The first column of every row of a query; none on error.
bool Column(sqlite3* db, std::string_view sql, std::vector<std::string>& out);

// NULL "", numbers in their text form, texts and blobs as their bytes.
std::string ValueText(const SqlValue& value);

}  // namespace corvel::store_detail
