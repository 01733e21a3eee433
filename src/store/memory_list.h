// A ListModel held in memory, measuring texts with a fixed-pitch rule: for tests, and for
// work on list contents without a window.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/list_model.h"

namespace corvel {

class MemoryList final : public ListModel {
 public:
  // Pixels for a text: by default 7 for each ASCII character and 12 for every other one.
  using Measure = std::function<int(std::string_view)>;
  // The room a list adds around a cell's or a title's text.
  static constexpr int kTextMargin = 12;

  explicit MemoryList(bool withHeader = true, Measure measure = {});
  // A list with these columns, centred and 10 pixels wide, as the windows create theirs.
  static MemoryList WithColumns(const std::vector<std::string>& titles);

  static int DefaultMeasure(std::string_view utf8);

  bool hasHeader() const override { return withHeader_; }
  int columnCount() const override { return static_cast<int>(columns_.size()); }
  std::string columnTitle(int column) const override;
  int columnWidth(int column) const override;
  void InsertColumn(int column, const std::string& title, int width, ColumnAlign align) override;
  void SetColumnWidth(int column, int width) override;

  int rowCount() const override { return static_cast<int>(rows_.size()); }
  int InsertRow(int row) override;
  void DeleteRow(int row) override;
  void DeleteAllRows() override;
  std::string cellText(int row, int column) const override;
  void SetCellText(int row, int column, const std::string& text) override;

  int selectedRow() const override { return selected_; }
  void SelectRow(int row) override;

  ColumnAlign columnAlign(int column) const;
  // Every row's texts, for comparisons.
  const std::vector<std::vector<std::string>>& rows() const { return rows_; }

 private:
  struct Column {
    std::string title;
    int width = 0;
    ColumnAlign align = ColumnAlign::kLeft;
  };

  bool validColumn(int column) const { return column >= 0 && column < columnCount(); }
  bool validRow(int row) const { return row >= 0 && row < rowCount(); }

  bool withHeader_;
  Measure measure_;
  std::vector<Column> columns_;
  std::vector<std::vector<std::string>> rows_;
  int selected_ = -1;
};

}  // namespace corvel
