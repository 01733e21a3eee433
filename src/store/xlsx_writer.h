// Writing .xlsx workbooks with libxlsxwriter.
#pragma once

#include <string>

#include "store/workbook.h"

namespace corvel {

// Writes the workbook to path (a new file; whatever is there is replaced). False when the
// library refuses it, for example a text over 32767 characters or an invalid sheet name; the
// file at path is then not a complete workbook and should be discarded.
bool WriteXlsx(const std::string& path, const Workbook& workbook);

}  // namespace corvel
