// Comma-separated files as one-sheet workbooks: UTF-8 with a byte-order mark, CRLF line ends,
// RFC 4180 quoting.
#pragma once

#include <string>
#include <string_view>

#include "store/workbook.h"

namespace corvel {

// The sheet of a CSV file is named "sheet1", so the same statements reach it as in a workbook.
inline constexpr std::string_view kCsvSheetName = "sheet1";

// Every field as text. The mark is optional; bytes that are not UTF-8 are read as GBK, as an
// older spreadsheet program on a Chinese system writes them. An empty file has no sheet.
Workbook ParseCsv(std::string_view bytes);

// The first sheet of the workbook (numbers in their text form), or only the mark when there is
// none.
std::string FormatCsv(const Workbook& workbook);

}  // namespace corvel
