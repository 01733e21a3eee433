// Workbook sheets as rows of texts, the form the external readers give too.
#pragma once

#include <string>
#include <vector>

#include "external_tools.h"
#include "store/workbook.h"

namespace corvel::testing {

inline Rows SheetRows(const Worksheet& sheet) {
  Rows rows;
  for (const CellRow& row : sheet.rows) {
    std::vector<std::string> texts;
    for (const CellValue& cell : row)
      texts.push_back(CellText(cell));
    rows.push_back(texts);
  }
  return Trimmed(rows);
}

inline Worksheet SheetOfTexts(const std::string& name, const Rows& rows) {
  Worksheet sheet{name, {}};
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      if (!rows[r][c].empty()) sheet.set(r, c, CellValue::Text(rows[r][c]));
    }
  }
  return sheet;
}

}  // namespace corvel::testing
