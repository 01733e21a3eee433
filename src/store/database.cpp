// Connections and statements. Every entry point catches everything (memory exhaustion while
// copying texts included) and answers with its result code.
#include "store/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "store/database_state.h"
#include "store/guarded.h"
#include "store/workbook_file.h"

namespace corvel {

using store_detail::ConnectionState;
using store_detail::Database;
using store_detail::Guarded;
using store_detail::RecordsetState;
using store_detail::SqlValue;
using store_detail::Statement;

namespace {

constexpr int kBusyTimeoutMs = 5000;  // the provider's 5-second connection and command time-outs
constexpr const char* kJetProvider = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";

std::string WithCredentials(std::string text, std::string_view user, std::string_view password) {
  if (!user.empty()) text.append(";User ID=").append(user);
  if (!password.empty()) {
    text.append(";Persist Security Info=True;Jet OLEDB:Database Password=").append(password);
  }
  return text;
}

// SQLite opens lazily: reading the schema is what tells an SQLite file from anything else.
bool ReadsAsDatabase(sqlite3* db) {
  return store_detail::Run(db, "select count(*) from sqlite_master");
}

int SchemaVersion(sqlite3* db) {
  Statement statement = store_detail::PrepareOne(db, "pragma schema_version");
  if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return -1;
  return sqlite3_column_int(statement.get(), 0);
}

// Runs the statement, bound to params. Rows are copied into a recordset; a statement without
// a result gives a closed one. updatable: whether the rows may be written back (all columns
// from one table).
Recordset Run(const std::shared_ptr<ConnectionState>& connection, std::string_view sql,
              const SqlParams& params, bool forUpdate) {
  if (!connection || !connection->db || sql.empty()) return {};
  sqlite3* db = connection->db.get();
  const bool excel = connection->kind == ConnectionState::Kind::kExcel;
  const int schemaBefore = excel ? SchemaVersion(db) : 0;

  Statement statement = store_detail::PrepareOne(db, sql);
  if (!statement) return {};
  if (sqlite3_bind_parameter_count(statement.get()) != static_cast<int>(params.size())) return {};
  for (std::size_t i = 0; i < params.size(); ++i) {
    if (!store_detail::Bind(statement.get(), static_cast<int>(i + 1), params[i])) return {};
  }
  const int columns = sqlite3_column_count(statement.get());
  if (forUpdate && (columns == 0 || !sqlite3_stmt_readonly(statement.get()))) return {};

  auto state = std::make_shared<RecordsetState>();
  state->connection = connection;
  for (int j = 0; j < columns; ++j) {
    const char* name = sqlite3_column_name(statement.get(), j);
    state->names.emplace_back(name ? name : "");
  }
  if (forUpdate) {
    state->updatable = columns > 0;
    for (int j = 0; j < columns && state->updatable; ++j) {
      const char* database = sqlite3_column_database_name(statement.get(), j);
      const char* table = sqlite3_column_table_name(statement.get(), j);
      const char* origin = sqlite3_column_origin_name(statement.get(), j);
      if (!database || !table || !origin) {
        state->updatable = false;
      } else if (j == 0) {
        state->database = database;
        state->table = table;
      } else if (state->database != database || state->table != table) {
        state->updatable = false;
      }
      state->origins.emplace_back(origin ? origin : "");
    }
  }
  int result = SQLITE_ROW;
  while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
    std::vector<SqlValue> row;
    row.reserve(static_cast<std::size_t>(columns));
    for (int j = 0; j < columns; ++j)
      row.push_back(store_detail::ColumnValue(statement.get(), j));
    state->rows.push_back(std::move(row));
  }
  if (result != SQLITE_DONE) return {};
  statement.reset();
  if (excel && SchemaVersion(db) != schemaBefore && !connection->sheets->Reconcile(db)) return {};
  state->open = columns > 0;
  return Recordset(std::move(state));
}

}  // namespace

int ConnectionState::Close() noexcept {
  if (!db) return 0;
  int result = 0;
  try {
    if (kind == Kind::kExcel && sheets && sheets->changed(db.get())) {
      const auto workbook = sheets->Store(db.get());
      if (!workbook || !WriteWorkbookFile(path, *workbook)) result = -2;
    }
  } catch (...) {
    result = -2;
  }
  db.reset();
  sheets.reset();
  return result;
}

std::string AccessConnectionString(std::string_view path, std::string_view user,
                                   std::string_view password) {
  return WithCredentials(std::string(kJetProvider).append(path), user, password);
}

std::string ExcelConnectionString(std::string_view path, std::string_view user,
                                  std::string_view password) {
  return WithCredentials(
      std::string(kJetProvider).append(path).append(";Extended Properties=\"Excel 8.0;HDR=YES;\""),
      user, password);
}

Connection OpenAccessDb(const std::string& path, std::string_view user, std::string_view password,
                        int /*options*/) {
  return Guarded(Connection{}, [&] {
    if (path.empty()) return Connection{};
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK || !ReadsAsDatabase(db.get())) return Connection{};
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    auto state = std::make_shared<ConnectionState>();
    state->kind = ConnectionState::Kind::kAccess;
    state->path = path;
    state->connectionString = AccessConnectionString(path, user, password);
    state->db = std::move(db);
    return Connection(std::move(state));
  });
}

Connection OpenExcelDb(const std::string& path, std::string_view user, std::string_view password,
                       int /*options*/) {
  return Guarded(Connection{}, [&] {
    if (path.empty()) return Connection{};
    Workbook workbook;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
      auto read = ReadWorkbookFile(path);
      if (!read) return Connection{};
      workbook = std::move(*read);
    } else if (errno != ENOENT) {
      return Connection{};
    }
    return OpenWorkbookDb(path, std::move(workbook), user, password);
  });
}

Connection OpenWorkbookDb(const std::string& path, Workbook workbook, std::string_view user,
                          std::string_view password) {
  return Guarded(Connection{}, [&] {
    if (path.empty()) return Connection{};
    sqlite3* raw = nullptr;
    const int opened =
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(raw);
    if (opened != SQLITE_OK) return Connection{};
    auto sheets = std::make_unique<store_detail::ExcelTables>();
    if (!sheets->Load(db.get(), workbook)) return Connection{};
    auto state = std::make_shared<ConnectionState>();
    state->kind = ConnectionState::Kind::kExcel;
    state->path = path;
    state->connectionString = ExcelConnectionString(path, user, password);
    state->db = std::move(db);
    state->sheets = std::move(sheets);
    return Connection(std::move(state));
  });
}

int CreateAccessDb(const std::string& path, std::string_view /*user*/,
                   std::string_view /*password*/) {
  return Guarded(-1, [&] {
    if (path.empty()) return -1;
    // O_EXCL: an existing file, whatever it holds, is never replaced.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    close(fd);
    sqlite3* raw = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    Database db(raw);
    // Writing the header page makes it an SQLite file rather than an empty one.
    if (opened != SQLITE_OK || !store_detail::Run(db.get(), "pragma user_version=0") ||
        !store_detail::Run(db.get(), "vacuum")) {
      db.reset();
      unlink(path.c_str());
      return -1;
    }
    return 0;
  });
}

int CloseConnection(const Connection& connection) {
  return Guarded(-2, [&] { return connection.empty() ? 0 : connection.state()->Close(); });
}

Recordset ExecuteSql(const Connection& connection, std::string_view sql, const SqlParams& params) {
  return Guarded(Recordset{}, [&] { return Run(connection.state(), sql, params, false); });
}

Recordset OpenRecordset(const Connection& connection, std::string_view sql, int /*cursorType*/,
                        const SqlParams& params) {
  return Guarded(Recordset{}, [&] { return Run(connection.state(), sql, params, true); });
}

std::string QuoteSqlName(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace corvel
