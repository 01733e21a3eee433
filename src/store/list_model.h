// The list the store fills and reads: a report-view list with a header of titled columns and
// rows of texts. The main window's ReportList implements it over its widget; MemoryList
// (memory_list.h) holds it in memory.
#pragma once

#include <string>

namespace corvel {

// Widths SetColumnWidth measures instead of taking, as a report-view list does: fit the
// column's contents, or its contents and its title.
inline constexpr int kAutoSizeContents = -1;
inline constexpr int kAutoSizeUseHeader = -2;

enum class ColumnAlign { kLeft, kCenter, kRight };

class ListModel {
 public:
  virtual ~ListModel() = default;

  // False when the list has no header control (nothing can be filled or read by column).
  virtual bool hasHeader() const = 0;
  virtual int columnCount() const = 0;
  virtual std::string columnTitle(int column) const = 0;
  virtual int columnWidth(int column) const = 0;
  // An index below 0 or beyond the last column appends.
  virtual void InsertColumn(int column, const std::string& title, int width, ColumnAlign align) = 0;
  virtual void SetColumnWidth(int column, int width) = 0;

  virtual int rowCount() const = 0;
  // Inserts an empty row at row (appends when beyond the end); returns its index.
  virtual int InsertRow(int row) = 0;
  virtual void DeleteRow(int row) = 0;
  virtual void DeleteAllRows() = 0;
  // "" outside the rows and columns.
  virtual std::string cellText(int row, int column) const = 0;
  // Ignored outside the rows and columns.
  virtual void SetCellText(int row, int column, const std::string& text) = 0;

  // The first selected row, -1 when none is.
  virtual int selectedRow() const = 0;
  virtual void SelectRow(int row) = 0;
};

}  // namespace corvel
