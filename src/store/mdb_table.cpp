// RowSource over a table of a Jet file, read with libmdb. Texts come out as UTF-8.
// glib first: mdbtools.h includes it inside its extern "C" block.
#include <glib.h>
#include <mdbtools.h>

#include <cstring>
#include <memory>

#include "store/legacy_address_book.h"

namespace corvel {
namespace {

struct MdbCloser {
  void operator()(MdbHandle* handle) const { mdb_close(handle); }
};
struct TableCloser {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

class MdbTable final : public RowSource {
 public:
  MdbTable(std::unique_ptr<MdbHandle, MdbCloser> handle,
           std::unique_ptr<MdbTableDef, TableCloser> table)
      : handle_(std::move(handle)), table_(std::move(table)) {}

  bool Bind() {
    GPtrArray* columns = table_->columns;
    if (!columns || table_->num_cols == 0) return false;
    buffers_.resize(table_->num_cols);
    lengths_.assign(table_->num_cols, 0);
    for (unsigned int j = 0; j < table_->num_cols; ++j) {
      const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(columns, j));
      names_.emplace_back(column && column->name[0] ? column->name : "F" + std::to_string(j + 1));
      buffers_[j].assign(MDB_BIND_SIZE, '\0');
      mdb_bind_column(table_.get(), static_cast<int>(j + 1), buffers_[j].data(), &lengths_[j]);
    }
    return mdb_rewind_table(table_.get()) == 0;
  }

  const std::vector<std::string>& columns() const override { return names_; }

  bool Next(std::vector<std::string>& row) override {
    for (std::string& buffer : buffers_)
      buffer[0] = '\0';
    if (!mdb_fetch_row(table_.get())) return false;
    row.clear();
    for (const std::string& buffer : buffers_) {
      row.emplace_back(buffer.data(), strnlen(buffer.data(), buffer.size()));
    }
    return true;
  }

 private:
  std::unique_ptr<MdbHandle, MdbCloser> handle_;
  std::unique_ptr<MdbTableDef, TableCloser> table_;  // freed before the handle
  std::vector<std::string> names_;
  std::vector<std::string> buffers_;
  std::vector<int> lengths_;
};

}  // namespace

std::unique_ptr<RowSource> OpenMdbTable(const std::string& path, const std::string& table) {
  std::unique_ptr<MdbHandle, MdbCloser> handle(mdb_open(path.c_str(), MDB_NOFLAGS));
  if (!handle) return nullptr;
  if (!mdb_read_catalog(handle.get(), MDB_TABLE)) return nullptr;
  std::string name = table;
  std::unique_ptr<MdbTableDef, TableCloser> definition(
      mdb_read_table_by_name(handle.get(), name.data(), MDB_TABLE));
  if (!definition || !mdb_read_columns(definition.get())) return nullptr;
  auto source = std::make_unique<MdbTable>(std::move(handle), std::move(definition));
  if (!source->Bind()) return nullptr;
  return source;
}

}  // namespace corvel
