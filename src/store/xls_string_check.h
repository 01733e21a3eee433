// FreeXL 1.0 misreads a shared string whose characters run over more than one CONTINUE record
// (texts of more than about 8000 characters): it returns other texts, or none, without an
// error. This check finds such strings in the file first, so the workbook is refused instead
// of read wrongly.
#pragma once

#include <string>

namespace corvel {

// False when the workbook stream of the .xls file holds a shared string that spans more than
// two records. True otherwise, also when the file cannot be parsed here (FreeXL then decides).
bool SharedStringsReadableByFreeXl(const std::string& path);

}  // namespace corvel
