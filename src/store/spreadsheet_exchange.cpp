#include "store/spreadsheet_exchange.h"

#include "media/toolkit/text_codec.h"
#include "store/address_book.h"
#include "store/database.h"
#include "store/guarded.h"
#include "store/list_fill.h"

namespace corvel {

void ImportAddressBook(ListModel& list, const std::string& workbookPath,
                       const std::string& databasePath) {
  if (workbookPath.empty()) return;
  store_detail::Guarded(0, [&] {
    const Connection connection = OpenExcelDb(workbookPath);
    const Recordset recordset =
        ExecuteSql(connection, "select * from " + QuoteSqlName(std::string(kExchangeSheet) + "$"));
    FillListFromRecordset(&list, recordset);
    CloseRecordset(recordset);
    CloseConnection(connection);
    SaveListToTable(databasePath, std::string(kAddressBookTable), &list, 0);
    return 0;
  });
}

int ExportListToSheet(const std::string& path, const std::string& sheet, ListModel* list) {
  if (path.empty() || sheet.empty() || !list || !list->hasHeader()) return -1;
  return store_detail::Guarded(0, [&] {
    std::string columns;
    for (int j = 0; j < list->columnCount(); ++j) {
      const std::string title(CutUtf8(list->columnTitle(j), 255));
      if (title.empty()) continue;
      columns += (columns.empty() ? "" : ",") + QuoteSqlName(title) + " TEXT";
    }
    const Connection connection = OpenExcelDb(path);
    // A workbook that has the sheet refuses the table; the rows then go below its rows.
    CloseRecordset(
        ExecuteSql(connection, "create table " + QuoteSqlName(sheet) + " (" + columns + ")"));
    Recordset recordset =
        OpenRecordset(connection, "select * from " + QuoteSqlName(sheet), kOpenDynamic);
    if (!recordset) {
      recordset =
          OpenRecordset(connection, "select * from " + QuoteSqlName(sheet + "$"), kOpenDynamic);
    }
    for (int i = 0; i < list->rowCount() && recordset; ++i) {
      AddNewRecord(recordset);
      for (int j = 0; j < list->columnCount(); ++j)
        SetFieldText(recordset, j, list->cellText(i, j));
    }
    UpdateRecord(recordset);
    CloseRecordset(recordset);
    CloseConnection(connection);
    return 0;
  });
}

}  // namespace corvel
