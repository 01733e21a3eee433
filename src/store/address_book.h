// The address book: the table 通讯录 of AddressList.db, shown in the main window's list
// (电话号码, 姓名, 分组, 其他), loaded at start-up, saved by number, a contact deleted by number.
// Every value reaches the database as a bound parameter, so names with apostrophes or any
// other text are stored as typed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/list_model.h"

namespace corvel {

inline constexpr std::string_view kAddressBookFile = "AddressList.db";
inline constexpr std::string_view kLegacyAddressBookFile = "AddressList.mdb";
inline constexpr std::string_view kAddressBookTable = "通讯录";

// The address book list's columns, in order.
std::vector<std::string> AddressBookColumns();

// Start-up: fills the list from the table at databasePath ("AddressList.db" in the working
// folder, which start-up makes the application folder). A missing file or table leaves the
// list as it is. When the file is missing and AddressList.mdb lies beside it, its rows are
// first copied into a new AddressList.db (MigrateLegacyAddressBook).
void LoadAddressBook(ListModel& list,
                     const std::string& databasePath = std::string(kAddressBookFile));

// 删除: removes the selected row from the list, then its number from the table. Nothing
// happens without a selected row; database failures leave the row deleted from the list.
void DeleteSelectedContact(ListModel& list,
                           const std::string& databasePath = std::string(kAddressBookFile));

// Stores every row: a row whose key column (keyColumn, 0 when negative) matches a record
// overwrites that record's columns (titles as column names), any other row is added; when the
// file or table is missing, CreateTableFromList makes them. 0, or -1 when the path or table
// is empty or there is no list or header.
int SaveListToTable(const std::string& path, const std::string& table, ListModel* list,
                    int keyColumn);

// Creates the file when missing and the table with one TEXT column per non-empty title (an
// existing table is kept), then adds every row. 0, or -1 as SaveListToTable.
int CreateTableFromList(const std::string& path, const std::string& table, ListModel* list);

}  // namespace corvel
