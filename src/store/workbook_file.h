// Workbook files on disk, in whichever format their name or contents say.
#pragma once

#include <optional>
#include <string>

#include "store/workbook.h"

namespace corvel {

// The contents decide: an OLE2 file is read as .xls (by the separate reading process, see
// xls_helper.h), a zip package as .xlsx; other bytes are CSV only when the name ends in ".csv".
// None for a missing file or one that is no workbook.
std::optional<Workbook> ReadWorkbookFile(const std::string& path);

// Writes in the format the name asks for (FormatForPath) through a temporary file beside it
// that then replaces path, so a failed write leaves the old file as it was. An existing file
// keeps its permissions. False when nothing was written.
bool WriteWorkbookFile(const std::string& path, const Workbook& workbook);

}  // namespace corvel
