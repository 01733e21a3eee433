// Recordsets: a client-side copy of the rows with a current position, and an edit buffer
// that AddNewRecord / SetFieldText fill and UpdateRecord stores in the table the rows came from.
#include <limits>

#include "store/database.h"
#include "store/database_state.h"
#include "store/guarded.h"

namespace corvel {

using store_detail::Guarded;
using store_detail::RecordsetState;
using store_detail::SqlValue;
using store_detail::Statement;

namespace {

bool IsOpen(const Recordset& recordset) {
  return recordset && recordset.state()->open;
}

std::string TableName(const RecordsetState& state) {
  return QuoteSqlName(state.database) + "." + QuoteSqlName(state.table);
}

// The record being added becomes a new row; one being edited is found by its old values (the
// table has no key) and changed in its first match, as a client cursor does it.
bool Store(RecordsetState& state) {
  sqlite3* db = state.connection && state.connection->db ? state.connection->db.get() : nullptr;
  if (!db) return false;
  std::string sql;
  std::vector<SqlValue> params;
  if (state.edit == RecordsetState::Edit::kAdding) {
    std::string columns, values;
    for (std::size_t j = 0; j < state.buffer.size(); ++j) {
      if (!state.touched[j]) continue;
      columns += (columns.empty() ? "" : ",") + QuoteSqlName(state.origins[j]);
      values += values.empty() ? "?" : ",?";
      params.push_back(state.buffer[j]);
    }
    sql = "insert into " + TableName(state) +
          (columns.empty() ? " default values" : " (" + columns + ") values (" + values + ")");
  } else {
    const std::vector<SqlValue>& old = state.rows[static_cast<std::size_t>(state.position)];
    std::string assignments, match;
    for (std::size_t j = 0; j < state.buffer.size(); ++j) {
      if (!state.touched[j]) continue;
      assignments += (assignments.empty() ? "" : ",") + QuoteSqlName(state.origins[j]) + "=?";
      params.push_back(state.buffer[j]);
    }
    if (assignments.empty()) return true;
    for (std::size_t j = 0; j < old.size(); ++j) {
      match += (j ? " and " : "") + QuoteSqlName(state.origins[j]) + " is ?";
      params.push_back(old[j]);
    }
    sql = "update " + TableName(state) + " set " + assignments +
          " where rowid=(select rowid from " + TableName(state) + " where " + match + " limit 1)";
  }
  if (!store_detail::Run(db, sql, params)) return false;
  if (state.edit == RecordsetState::Edit::kEditing && sqlite3_changes(db) == 0) return false;
  if (state.edit == RecordsetState::Edit::kAdding) {
    state.rows.push_back(state.buffer);
    state.position = static_cast<std::ptrdiff_t>(state.rows.size()) - 1;
  } else {
    state.rows[static_cast<std::size_t>(state.position)] = state.buffer;
  }
  return true;
}

// Stores a pending record; it is given up when storing fails, so one bad record does not
// block every record after it.
bool Flush(RecordsetState& state) {
  if (state.edit == RecordsetState::Edit::kNone) return true;
  const bool stored = Store(state);
  state.edit = RecordsetState::Edit::kNone;
  state.buffer.clear();
  state.touched.clear();
  return stored;
}

}  // namespace

int CloseRecordset(const Recordset& recordset) {
  return Guarded(-2, [&] {
    if (!IsOpen(recordset)) return 0;
    RecordsetState& state = *recordset.state();
    const bool stored = Flush(state);
    state.open = false;
    state.rows.clear();
    return stored ? 0 : -2;
  });
}

int GetFieldCount(const Recordset& recordset) {
  if (!IsOpen(recordset)) return 0;
  return static_cast<int>(recordset.state()->names.size());
}

int GetRecordCount(const Recordset& recordset) {
  if (!IsOpen(recordset)) return 0;
  const std::size_t n = recordset.state()->rows.size();
  return n > static_cast<std::size_t>(std::numeric_limits<int>::max())
             ? std::numeric_limits<int>::max()
             : static_cast<int>(n);
}

int MoveRecord(const Recordset& recordset, MoveDirection direction) {
  return Guarded(-3, [&] {
    if (!IsOpen(recordset)) return -1;
    RecordsetState& state = *recordset.state();
    if (state.atBof()) return -2;
    if (!Flush(state)) return -3;
    const auto last = static_cast<std::ptrdiff_t>(state.rows.size()) - 1;
    switch (direction) {
      case MoveDirection::kLast:
        state.position = last;
        return 0;
      case MoveDirection::kFirst:
        state.position = 0;
        return 0;
      case MoveDirection::kNext:
        if (state.position > last) return -3;
        ++state.position;
        return 0;
      default:
        --state.position;
        return 0;
    }
  });
}

std::optional<std::string> GetFieldName(const Recordset& recordset, int index) {
  return Guarded(std::optional<std::string>{}, [&]() -> std::optional<std::string> {
    if (!IsOpen(recordset) || index < 0) return std::nullopt;
    const auto& names = recordset.state()->names;
    if (static_cast<std::size_t>(index) >= names.size()) return std::nullopt;
    return names[static_cast<std::size_t>(index)];
  });
}

std::string GetFieldText(const Recordset& recordset, int index) {
  return Guarded(std::string{}, [&]() -> std::string {
    if (!IsOpen(recordset) || index < 0) return {};
    const RecordsetState& state = *recordset.state();
    const auto j = static_cast<std::size_t>(index);
    if (j >= state.names.size()) return {};
    if (state.edit != RecordsetState::Edit::kNone) return store_detail::ValueText(state.buffer[j]);
    if (!state.hasCurrent()) return {};
    return store_detail::ValueText(state.rows[static_cast<std::size_t>(state.position)][j]);
  });
}

int AddNewRecord(const Recordset& recordset) {
  return Guarded(-2, [&] {
    if (!IsOpen(recordset)) return -1;
    RecordsetState& state = *recordset.state();
    if (!state.updatable) return -2;
    if (!Flush(state)) return -2;
    state.edit = RecordsetState::Edit::kAdding;
    state.buffer.assign(state.names.size(), std::monostate{});
    state.touched.assign(state.names.size(), false);
    return 0;
  });
}

int SetFieldText(const Recordset& recordset, int index, std::string_view text) {
  return Guarded(-2, [&] {
    if (!IsOpen(recordset)) return -1;
    RecordsetState& state = *recordset.state();
    if (!state.updatable || index < 0 || static_cast<std::size_t>(index) >= state.names.size()) {
      return -2;
    }
    if (state.edit == RecordsetState::Edit::kNone) {
      if (!state.hasCurrent()) return -2;
      state.edit = RecordsetState::Edit::kEditing;
      state.buffer = state.rows[static_cast<std::size_t>(state.position)];
      state.touched.assign(state.names.size(), false);
    }
    state.buffer[static_cast<std::size_t>(index)] = std::string(text);
    state.touched[static_cast<std::size_t>(index)] = true;
    return 0;
  });
}

int UpdateRecord(const Recordset& recordset) {
  return Guarded(-2, [&] {
    if (!IsOpen(recordset)) return -1;
    return Flush(*recordset.state()) ? 0 : -2;
  });
}

}  // namespace corvel
