// Fuzz target for reading .xls workbooks: the bytes are read by FreeXL behind our string check
// in this process (zip packages by the .xlsx reader), as corvel-xls-read reads them for the
// client; the workbook is opened as a connection, the sheet1 statement of the import runs on
// it, and it is closed. Whatever the bytes, nothing may crash, leak or hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "media/toolkit/unique_fd.h"
#include "store/database.h"
#include "store/xls_reader.h"
#include "store/xls_string_check.h"
#include "store/xlsx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // FreeXL reads from a path: an anonymous memory file gives it one without touching the disk.
  const corvel::UniqueFd fd(memfd_create("corvel-xls-fuzz", MFD_CLOEXEC));
  if (!fd) return 0;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = write(fd.get(), data + done, size - done);
    if (n <= 0) return 0;
    done += static_cast<std::size_t>(n);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd.get());
  corvel::SharedStringsReadableByFreeXl(path);
  // Not through OpenExcelDb: that hands .xls files to the separate reading process.
  const bool zip = size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0;
  std::optional<corvel::Workbook> workbook = zip ? corvel::ReadXlsx(path) : corvel::ReadXls(path);
  if (!workbook) return 0;
  const corvel::Connection connection = corvel::OpenWorkbookDb(path, std::move(*workbook));
  const corvel::Recordset recordset = corvel::ExecuteSql(connection, "select * from [sheet1$]");
  for (int i = 0; i < corvel::GetRecordCount(recordset); ++i) {
    for (int j = 0; j < corvel::GetFieldCount(recordset); ++j)
      corvel::GetFieldText(recordset, j);
    corvel::MoveRecord(recordset, corvel::MoveDirection::kNext);
  }
  corvel::CloseRecordset(recordset);
  corvel::CloseConnection(connection);
  return 0;
}
