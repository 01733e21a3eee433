// An .xlsx file as any bytes, read by the store's own reader (libzip and pugixml): whatever the
// package holds, nothing may crash, leak or hang, and a workbook it returns keeps within the
// sheet limits the reader enforces, with no trailing empty cells in a row.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz_check.h"
#include "fuzz_file.h"
#include "store/xlsx_reader.h"

namespace {

constexpr std::size_t kMaxRows = 1048576;
constexpr std::size_t kMaxColumns = 16384;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const corvel::fuzz::MemoryFile file(data, size);
  if (!file.ok()) return 0;
  const std::optional<corvel::Workbook> workbook = corvel::ReadXlsx(file.path());
  if (!workbook) return 0;
  FUZZ_REQUIRE(!workbook->sheets.empty());
  for (const corvel::Worksheet& sheet : workbook->sheets) {
    FUZZ_REQUIRE(sheet.rows.size() <= kMaxRows);
    // Rows grow only to hold a cell, so the last row and every row's last cell hold something.
    FUZZ_REQUIRE(sheet.rows.empty() || !sheet.rows.back().empty());
    for (const corvel::CellRow& row : sheet.rows) {
      FUZZ_REQUIRE(row.size() <= kMaxColumns);
      FUZZ_REQUIRE(row.empty() || !row.back().empty());
    }
  }
  return 0;
}
