#include "store/xls_reader.h"

#include <freexl.h>

#include <memory>

#include "store/xls_string_check.h"

namespace corvel {
namespace {

struct FreeXlCloser {
  void operator()(const void* handle) const { freexl_close(handle); }
};
using FreeXlHandle = std::unique_ptr<const void, FreeXlCloser>;

CellValue Convert(const FreeXL_CellValue& value) {
  switch (value.type) {
    case FREEXL_CELL_INT:
      return CellValue::Number(value.value.int_value);
    case FREEXL_CELL_DOUBLE:
      return CellValue::Number(value.value.double_value);
    case FREEXL_CELL_TEXT:
    case FREEXL_CELL_SST_TEXT:
    case FREEXL_CELL_DATE:
    case FREEXL_CELL_DATETIME:
    case FREEXL_CELL_TIME:
      return value.value.text_value ? CellValue::Text(value.value.text_value) : CellValue{};
    default:
      return {};
  }
}

}  // namespace

std::optional<Workbook> ReadXls(const std::string& path) {
  if (!SharedStringsReadableByFreeXl(path)) return std::nullopt;
  const void* raw = nullptr;
  const int opened = freexl_open(path.c_str(), &raw);
  FreeXlHandle handle(raw);  // closed even when opening failed, as FreeXL asks
  if (opened != FREEXL_OK || !raw) return std::nullopt;

  unsigned int info = 0;
  if (freexl_get_info(raw, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK &&
      info == FREEXL_BIFF_OBFUSCATED) {
    return std::nullopt;
  }
  unsigned int sheetCount = 0;
  if (freexl_get_info(raw, FREEXL_BIFF_SHEET_COUNT, &sheetCount) != FREEXL_OK) return std::nullopt;

  Workbook workbook;
  for (unsigned int s = 0; s < sheetCount && s <= 0xFFFF; ++s) {
    const auto index = static_cast<unsigned short>(s);
    const char* name = nullptr;
    if (freexl_get_worksheet_name(raw, index, &name) != FREEXL_OK) return std::nullopt;
    if (freexl_select_active_worksheet(raw, index) != FREEXL_OK) return std::nullopt;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_worksheet_dimensions(raw, &rows, &columns) != FREEXL_OK) return std::nullopt;
    Worksheet sheet;
    sheet.name = name ? name : "";
    for (unsigned int r = 0; r < rows; ++r) {
      for (unsigned short c = 0; c < columns; ++c) {
        FreeXL_CellValue value{};
        if (freexl_get_cell_value(raw, r, c, &value) != FREEXL_OK) continue;
        CellValue cell = Convert(value);
        if (!cell.empty()) sheet.set(r, c, std::move(cell));
      }
    }
    workbook.sheets.push_back(std::move(sheet));
  }
  return workbook;
}

}  // namespace corvel
