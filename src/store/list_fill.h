// Copying a recordset into a list, and fitting the list's columns to what they show.
#pragma once

#include "store/database.h"
#include "store/list_model.h"

namespace corvel {

// Every column as wide as the wider of its contents and its contents with its title.
// 0, or -1 when there is no list or it has no header.
int AutoSizeColumns(ListModel* list);

// Inserts the recordset's records at rows 0..n-1 (above the rows there were), field j into
// column j; a list without columns first gets one centred 80-pixel column per field, titled by
// the field's name. Fields beyond the list's columns are dropped. Then AutoSizeColumns.
// 0, or -1 when there is no list, no recordset or no header.
int FillListFromRecordset(ListModel* list, const Recordset& recordset);

}  // namespace corvel
