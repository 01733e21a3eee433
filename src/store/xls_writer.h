// Excel 97-2003 (.xls, BIFF8) files from a Workbook: a shared string table with Unicode texts,
// text cells as LABELSST and numbers as NUMBER records, inside an OLE2 compound file.
#pragma once

#include <optional>
#include <string>

#include "store/workbook.h"

namespace corvel {

inline constexpr std::size_t kXlsMaxRows = 65536;
inline constexpr std::size_t kXlsMaxColumns = 256;
// Excel's limit for the text of a cell.
inline constexpr std::size_t kXlsMaxTextUnits = 32767;

// The file's bytes; none when the workbook does not fit the format (more than 65536 rows or
// 256 columns in a sheet, a text longer than Excel's 32767 UTF-16 units), so nothing is written cut
// short. A workbook without sheets gets one empty sheet "sheet1", as a workbook needs one.
std::optional<std::string> BuildXls(const Workbook& workbook);

}  // namespace corvel
