#include "store/list_fill.h"

#include <algorithm>

#include "store/guarded.h"

namespace corvel {

int AutoSizeColumns(ListModel* list) {
  if (!list || !list->hasHeader()) return -1;
  for (int column = 0; column < list->columnCount(); ++column) {
    list->SetColumnWidth(column, kAutoSizeContents);
    const int contents = list->columnWidth(column);
    list->SetColumnWidth(column, kAutoSizeUseHeader);
    const int withTitle = list->columnWidth(column);
    list->SetColumnWidth(column, std::max(contents, withTitle));
  }
  return 0;
}

int FillListFromRecordset(ListModel* list, const Recordset& recordset) {
  if (!list || !recordset || !list->hasHeader()) return -1;
  return store_detail::Guarded(-1, [&] {
    const int fields = GetFieldCount(recordset);
    if (list->columnCount() == 0) {
      for (int j = 0; j < fields; ++j) {
        list->InsertColumn(j, GetFieldName(recordset, j).value_or(std::string()), 80,
                           ColumnAlign::kCenter);
      }
    }
    const int records = GetRecordCount(recordset);
    const int shown = std::min(fields, list->columnCount());
    MoveRecord(recordset, MoveDirection::kFirst);
    for (int i = 0; i < records; ++i) {
      list->InsertRow(i);
      for (int j = 0; j < shown; ++j)
        list->SetCellText(i, j, GetFieldText(recordset, j));
      MoveRecord(recordset, MoveDirection::kNext);
    }
    AutoSizeColumns(list);
    return 0;
  });
}

}  // namespace corvel
