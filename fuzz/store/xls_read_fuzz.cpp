// Fuzz target for reading .xls workbooks: the bytes are opened as a workbook connection (FreeXL
// behind our string check), the sheet1 statement of the import runs on it, and it is closed.
// Whatever the bytes, nothing may crash, leak or hang.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "media/toolkit/unique_fd.h"
#include "store/database.h"
#include "store/xls_reader.h"
#include "store/xls_string_check.h"

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
  const corvel::Connection connection = corvel::OpenExcelDb(path);
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
