#include "store/memory_list.h"

#include <algorithm>

namespace corvel {

MemoryList::MemoryList(bool withHeader, Measure measure)
    : withHeader_(withHeader), measure_(measure ? std::move(measure) : Measure(DefaultMeasure)) {}

MemoryList MemoryList::WithColumns(const std::vector<std::string>& titles) {
  MemoryList list;
  for (const std::string& title : titles)
    list.InsertColumn(-1, title, 10, ColumnAlign::kCenter);
  return list;
}

int MemoryList::DefaultMeasure(std::string_view utf8) {
  int width = 0;
  for (unsigned char c : utf8) {
    if (c < 0x80) {
      width += 7;
    } else if ((c & 0xC0) != 0x80) {
      width += 12;  // the lead byte of a wider character
    }
  }
  return width;
}

std::string MemoryList::columnTitle(int column) const {
  return validColumn(column) ? columns_[static_cast<std::size_t>(column)].title : std::string();
}

int MemoryList::columnWidth(int column) const {
  return validColumn(column) ? columns_[static_cast<std::size_t>(column)].width : 0;
}

ColumnAlign MemoryList::columnAlign(int column) const {
  return validColumn(column) ? columns_[static_cast<std::size_t>(column)].align
                             : ColumnAlign::kLeft;
}

void MemoryList::InsertColumn(int column, const std::string& title, int width, ColumnAlign align) {
  const int at = column < 0 || column > columnCount() ? columnCount() : column;
  columns_.insert(columns_.begin() + at, Column{title, width, align});
  for (auto& row : rows_)
    row.insert(row.begin() + at, std::string());
}

void MemoryList::SetColumnWidth(int column, int width) {
  if (!validColumn(column)) return;
  Column& target = columns_[static_cast<std::size_t>(column)];
  if (width >= 0) {
    target.width = width;
    return;
  }
  int contents = 0;
  for (const auto& row : rows_) {
    contents = std::max(contents, measure_(row[static_cast<std::size_t>(column)]) + kTextMargin);
  }
  if (width == kAutoSizeUseHeader)
    contents = std::max(contents, measure_(target.title) + kTextMargin);
  target.width = contents;
}

int MemoryList::InsertRow(int row) {
  const int at = row < 0 || row > rowCount() ? rowCount() : row;
  rows_.insert(rows_.begin() + at, std::vector<std::string>(columns_.size()));
  if (selected_ >= at) ++selected_;
  return at;
}

void MemoryList::DeleteRow(int row) {
  if (!validRow(row)) return;
  rows_.erase(rows_.begin() + row);
  if (selected_ == row) {
    selected_ = -1;
  } else if (selected_ > row) {
    --selected_;
  }
}

void MemoryList::DeleteAllRows() {
  rows_.clear();
  selected_ = -1;
}

std::string MemoryList::cellText(int row, int column) const {
  if (!validRow(row) || !validColumn(column)) return {};
  return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void MemoryList::SetCellText(int row, int column, const std::string& text) {
  if (!validRow(row) || !validColumn(column)) return;
  rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

void MemoryList::SelectRow(int row) {
  selected_ = validRow(row) ? row : -1;
}

}  // namespace corvel
