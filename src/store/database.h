// The store's database layer: connections to the address book file (SQLite) or to a workbook
// (its sheets as tables), statements, updatable recordsets read and written as text.
//
// Called from the user-interface thread only. No operation throws: results are the codes
//   0 done; -1 nothing to work on (empty handle, closed recordset, missing argument);
//   -2 the database reported an error (MoveRecord: the recordset is at its beginning);
//   -3 MoveRecord only: the database reported an error;
// or an empty handle. Errors are neither shown nor logged, except that the process reading .xls
// files failing (crashed, stopped, missing) leaves a log line (xls_helper.h).
//
// Texts are UTF-8. Values are bound as parameters (?1, ?2 ... in the statement), never pasted
// into the statement text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/workbook.h"

namespace corvel {

namespace store_detail {
struct ConnectionState;
struct RecordsetState;
}  // namespace store_detail

// Shares one connection: copies refer to the same one; the last copy to go releases it (and
// closes it, storing a changed workbook, when CloseConnection was not called).
class Connection {
 public:
  Connection() = default;
  explicit Connection(std::shared_ptr<store_detail::ConnectionState> state)
      : state_(std::move(state)) {}
  bool empty() const { return state_ == nullptr; }
  explicit operator bool() const { return !empty(); }
  const std::shared_ptr<store_detail::ConnectionState>& state() const { return state_; }

 private:
  std::shared_ptr<store_detail::ConnectionState> state_;
};

// Shares one recordset, as Connection does. Empty: there is no result.
class Recordset {
 public:
  Recordset() = default;
  explicit Recordset(std::shared_ptr<store_detail::RecordsetState> state)
      : state_(std::move(state)) {}
  bool empty() const { return state_ == nullptr; }
  explicit operator bool() const { return !empty(); }
  const std::shared_ptr<store_detail::RecordsetState>& state() const { return state_; }

 private:
  std::shared_ptr<store_detail::RecordsetState> state_;
};

// Cursor types as callers name them; every recordset here is a client-side copy of its rows,
// updatable when all its columns come from one table.
inline constexpr int kOpenForwardOnly = 0;
inline constexpr int kOpenKeyset = 1;
inline constexpr int kOpenDynamic = 2;
inline constexpr int kOpenStatic = 3;

enum class MoveDirection : int { kLast = -1, kFirst = 0, kNext = 1, kPrevious = 2 };

using SqlParams = std::vector<std::string>;

// The connection strings of the Jet provider these files replace, kept for log lines and for
// callers that show where a connection points.
std::string AccessConnectionString(std::string_view path, std::string_view user = {},
                                   std::string_view password = {});
std::string ExcelConnectionString(std::string_view path, std::string_view user = {},
                                  std::string_view password = {});

// An existing SQLite file; empty when the path is empty, the file is missing or is not an
// SQLite database. SQLite files have no accounts: user and password are accepted and unused.
Connection OpenAccessDb(const std::string& path, std::string_view user = {},
                        std::string_view password = {}, int options = 0);

// A workbook (.xls, .xlsx or .csv, see workbook_file.h) whose worksheets are tables named as
// the Excel driver names them: worksheet "Sheet1" is the table "Sheet1$" ([sheet1$] in a
// statement, any case), its first row the column names. "create table X (...)" makes a sheet X
// and the table X beside X$. A missing file is an empty workbook, created when a table is;
// a file that is no workbook gives an empty handle. Changes are written back by CloseConnection.
Connection OpenExcelDb(const std::string& path, std::string_view user = {},
                       std::string_view password = {}, int options = 0);

// A workbook connection, as OpenExcelDb gives, over a workbook the caller has read already;
// CloseConnection writes changes to path.
Connection OpenWorkbookDb(const std::string& path, Workbook workbook, std::string_view user = {},
                          std::string_view password = {});

// Creates an empty SQLite file; -1 when the path is empty, the file exists already (it is never
// replaced) or cannot be made.
int CreateAccessDb(const std::string& path, std::string_view user = {},
                   std::string_view password = {});

// 0 also for an empty or closed connection; -2 when closing failed (for a workbook: it could not
// be written, and the file on disk is as it was).
int CloseConnection(const Connection& connection);

// One statement. Statements that return no rows give a closed recordset; empty handle when the
// connection or text is missing, the statement fails, or the text holds more than one.
Recordset ExecuteSql(const Connection& connection, std::string_view sql,
                     const SqlParams& params = {});

// An open recordset over the statement's rows, updatable when they come from one table.
Recordset OpenRecordset(const Connection& connection, std::string_view sql, int cursorType,
                        const SqlParams& params = {});

// 0 also for an empty or closed recordset. A record being added or edited is stored first
// (-2 when that fails; the recordset is closed all the same).
int CloseRecordset(const Recordset& recordset);

int GetFieldCount(const Recordset& recordset);
int GetRecordCount(const Recordset& recordset);

// Empty or closed: -1. At the beginning (no records, or moved before the first): -2, nothing
// moves. kLast, kFirst, kNext; any other direction moves to the previous record. Moving past
// the end: -3.
int MoveRecord(const Recordset& recordset, MoveDirection direction);

// The name of field index (0-based); none on failure, so the caller keeps what it had.
std::optional<std::string> GetFieldName(const Recordset& recordset, int index);

// The value in the current record: "" for NULL, on failure or when there is no current record;
// numbers as their text (whole numbers without a decimal point).
std::string GetFieldText(const Recordset& recordset, int index);

// Starts a new record (storing one being added or edited first).
int AddNewRecord(const Recordset& recordset);
// Sets the field of the record being added, or starts editing the current record.
int SetFieldText(const Recordset& recordset, int index, std::string_view text);
// Stores the record being added or edited; 0 when there is none.
int UpdateRecord(const Recordset& recordset);

// A name for a statement: in double quotes, inner quotes doubled, so any title is one name.
std::string QuoteSqlName(std::string_view name);

}  // namespace corvel
