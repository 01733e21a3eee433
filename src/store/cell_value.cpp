#include "store/cell_value.h"

#include <charconv>
#include <cmath>

namespace corvel {

std::string NumberText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";  // also -0
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  // to_chars writes "1e+20" / "1e-05"; the variant conversion writes "1E+20" / "1E-05".
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

std::string CellText(const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      return {};
    case CellValue::Kind::kNumber:
      return NumberText(cell.number);
    case CellValue::Kind::kText:
      return cell.text;
  }
  return {};
}

}  // namespace corvel
