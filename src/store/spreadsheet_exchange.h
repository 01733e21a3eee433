// 导入 and 导出 of the list menus: the address book filled from a workbook's sheet1, and a
// list copied into one. Columns go by position; every value travels as text.
#pragma once

#include <string>
#include <string_view>

#include "store/list_model.h"

namespace corvel {

inline constexpr std::string_view kExchangeSheet = "sheet1";
// The file dialogs' filter and flags (hide read-only, overwrite prompt).
inline constexpr std::string_view kWorkbookFilter = "(*.xls)|*.xls||";
inline constexpr unsigned kWorkbookDialogFlags = 0x6;

// The records of the workbook's sheet1 (any case; the title row is not compared) are put
// above the list's rows, field j into column j; then the whole list is saved to the address
// book at databasePath (SaveListToTable, key column 0), whether or not the workbook gave
// anything. An empty workbookPath is a cancelled dialog: nothing happens.
void ImportAddressBook(ListModel& list, const std::string& workbookPath,
                       const std::string& databasePath);

// Writes the list into the sheet of the workbook at path: a new file or a workbook without the
// sheet gets it with the list's titles as its first row; a workbook that has it gets the rows
// below the ones there. The format follows the name (.xls, .xlsx, .csv; WithWorkbookExtension
// gives a bare name ".xls"). 0, or -1 when the path or sheet is empty or there is no list or
// header.
int ExportListToSheet(const std::string& path, const std::string& sheet, ListModel* list);

}  // namespace corvel
