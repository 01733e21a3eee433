// Reading .xls workbooks (BIFF8 and older, as FreeXL knows them) into a Workbook.
#pragma once

#include <optional>
#include <string>

#include "store/workbook.h"

namespace corvel {

// Every worksheet with its cells: numbers as numbers, texts as UTF-8, dates and times as the
// texts "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS", "HH:MM:SS". None when the file cannot be read as
// a workbook, is password-protected, or holds a text FreeXL would misread (over about 8000
// characters; see xls_string_check.h).
std::optional<Workbook> ReadXls(const std::string& path);

}  // namespace corvel
