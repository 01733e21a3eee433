// One cell of a worksheet as the store sees it: nothing, a number or a text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace corvel {

struct CellValue {
  enum class Kind : std::uint8_t { kEmpty, kNumber, kText };

  Kind kind = Kind::kEmpty;
  double number = 0;
  std::string text;

  static CellValue Number(double value) { return {Kind::kNumber, value, {}}; }
  static CellValue Text(std::string value) { return {Kind::kText, 0, std::move(value)}; }

  bool empty() const { return kind == Kind::kEmpty; }
  friend bool operator==(const CellValue&, const CellValue&) = default;
};

using CellRow = std::vector<CellValue>;

// A number as text the way a COM variant turns a double into a string: up to 15 significant
// digits, no decimal point for whole numbers, "E+nn" exponents for very large or small values.
// Independent of the process locale.
std::string NumberText(double value);

// The cell as text: "" for nothing, NumberText for a number, the text itself otherwise.
std::string CellText(const CellValue& cell);

}  // namespace corvel
