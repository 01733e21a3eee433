#include "store/xlsx_writer.h"

#include <xlsxwriter.h>

namespace corvel {

bool WriteXlsx(const std::string& path, const Workbook& input) {
  lxw_workbook* workbook = workbook_new(path.c_str());
  if (!workbook) return false;
  bool ok = true;
  std::vector<Worksheet> sheets = input.sheets;
  if (sheets.empty()) sheets.push_back({"sheet1", {}});
  for (const Worksheet& sheet : sheets) {
    lxw_worksheet* worksheet = workbook_add_worksheet(workbook, sheet.name.c_str());
    if (!worksheet) {
      ok = false;
      break;
    }
    for (std::size_t r = 0; ok && r < sheet.rows.size(); ++r) {
      for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
        const CellValue& cell = sheet.rows[r][c];
        const auto row = static_cast<lxw_row_t>(r);
        const auto column = static_cast<lxw_col_t>(c);
        lxw_error result = LXW_NO_ERROR;
        if (cell.kind == CellValue::Kind::kText) {
          result = worksheet_write_string(worksheet, row, column, cell.text.c_str(), nullptr);
        } else if (cell.kind == CellValue::Kind::kNumber) {
          result = worksheet_write_number(worksheet, row, column, cell.number, nullptr);
        }
        if (result != LXW_NO_ERROR) {
          ok = false;
          break;
        }
      }
    }
    if (!ok) break;
  }
  // Closing frees the workbook whatever happened; it also reports write failures.
  const lxw_error closed = workbook_close(workbook);
  return ok && closed == LXW_NO_ERROR;
}

}  // namespace corvel
