#include "store/workbook.h"

#include <algorithm>
#include <cctype>

namespace corvel {
namespace {

// The extension with its dot, lower case; empty when the last path element has none.
std::string Extension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < name || dot == name) return {};
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

const CellValue& Worksheet::at(std::size_t row, std::size_t column) const {
  static const CellValue kEmpty;
  if (row >= rows.size() || column >= rows[row].size()) return kEmpty;
  return rows[row][column];
}

void Worksheet::set(std::size_t row, std::size_t column, CellValue value) {
  if (row >= rows.size()) rows.resize(row + 1);
  if (column >= rows[row].size()) rows[row].resize(column + 1);
  rows[row][column] = std::move(value);
}

WorkbookFormat FormatForPath(const std::string& path) {
  const std::string extension = Extension(path);
  if (extension == ".xlsx") return WorkbookFormat::kXlsx;
  if (extension == ".csv") return WorkbookFormat::kCsv;
  return WorkbookFormat::kXls;
}

std::string WithWorkbookExtension(const std::string& path) {
  if (path.empty() || path.back() == '/' || !Extension(path).empty()) return path;
  return path + ".xls";
}

}  // namespace corvel
