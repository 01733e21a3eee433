// Bringing the address book of the Windows client (AddressList.mdb, a Jet file) into
// AddressList.db once: its table 通讯录 is read through mdbtools' libmdb and copied row by row;
// the .mdb file is only read.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace corvel {

// The rows of one table, as texts.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual const std::vector<std::string>& columns() const = 0;
  // The next row (one text per column); false at the end.
  virtual bool Next(std::vector<std::string>& row) = 0;
};

// The table of a Jet file through libmdb; none when the file or the table cannot be read.
std::unique_ptr<RowSource> OpenMdbTable(const std::string& path, const std::string& table);

// Makes databasePath with the table 通讯录 holding the source's columns and rows. The file is
// built beside the target and moved into place only when complete, so a failure leaves no
// half-made address book and the next start tries again. False when databasePath exists or
// nothing could be written.
bool CopyLegacyRows(const std::string& databasePath, RowSource& source);

// CopyLegacyRows from the 通讯录 table of legacyPath; false when it cannot be read.
bool MigrateLegacyAddressBook(const std::string& databasePath, const std::string& legacyPath);

}  // namespace corvel
