// Reading .xlsx workbooks (Office Open XML) into a Workbook: shared and inline strings, numbers
// and booleans; formulas give their cached values.
#pragma once

#include <optional>
#include <string>

#include "store/workbook.h"

namespace corvel {

// None when the file is not a readable workbook package. Parts larger than 256 MB unpacked are
// refused rather than read.
std::optional<Workbook> ReadXlsx(const std::string& path);

}  // namespace corvel
