// A workbook as plain values: named worksheets of cell rows, row 0 / column 0 being A1. Rows
// may be shorter than others; missing cells are empty.
#pragma once

#include <string>
#include <vector>

#include "store/cell_value.h"

namespace corvel {

struct Worksheet {
  std::string name;
  std::vector<CellRow> rows;

  // The cell at (row, column), empty when outside the rows held.
  const CellValue& at(std::size_t row, std::size_t column) const;
  // Sets the cell, growing the rows as needed.
  void set(std::size_t row, std::size_t column, CellValue value);

  friend bool operator==(const Worksheet&, const Worksheet&) = default;
};

struct Workbook {
  std::vector<Worksheet> sheets;
  friend bool operator==(const Workbook&, const Workbook&) = default;
};

enum class WorkbookFormat { kXls, kXlsx, kCsv };

// Chosen by the name's extension (case-insensitive): ".xlsx", ".csv", anything else ".xls".
WorkbookFormat FormatForPath(const std::string& path);

// A file name without an extension gets ".xls"; any other name is kept as it is.
std::string WithWorkbookExtension(const std::string& path);

}  // namespace corvel
