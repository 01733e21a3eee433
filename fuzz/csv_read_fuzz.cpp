// A .csv file as any bytes: it reads as at most one sheet of texts, and the file the store writes
// for that sheet reads back as the same cells (and is written again byte for byte), whatever the
// quoting, line ends and encoding of the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "media/toolkit/text_codec.h"
#include "store/csv_file.h"

using corvel::CellValue;
using corvel::Workbook;

namespace {

// The rows of the one sheet; a sheet without rows holds the same as no sheet.
std::vector<corvel::CellRow> Cells(const Workbook& workbook) {
  FUZZ_REQUIRE(workbook.sheets.size() <= 1);
  if (workbook.sheets.empty()) return {};
  FUZZ_REQUIRE(workbook.sheets.front().name == corvel::kCsvSheetName);
  return workbook.sheets.front().rows;
}

void CheckCells(const std::vector<corvel::CellRow>& rows) {
  for (const corvel::CellRow& row : rows) {
    for (const CellValue& cell : row) {
      // Empty fields leave their cell empty; the rest are texts, always UTF-8.
      FUZZ_REQUIRE(cell.kind == CellValue::Kind::kEmpty ||
                   (cell.kind == CellValue::Kind::kText && !cell.text.empty() &&
                    corvel::IsValidUtf8(cell.text)));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const Workbook workbook = corvel::ParseCsv(bytes);
  const std::vector<corvel::CellRow> cells = Cells(workbook);
  CheckCells(cells);

  const std::string written = corvel::FormatCsv(workbook);
  FUZZ_REQUIRE(corvel::IsValidUtf8(written));
  const Workbook again = corvel::ParseCsv(written);
  FUZZ_REQUIRE(Cells(again) == cells);
  FUZZ_REQUIRE(corvel::FormatCsv(again) == written);
  return 0;
}
