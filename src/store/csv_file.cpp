#include "store/csv_file.h"

#include "media/toolkit/text_codec.h"

namespace corvel {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool NeedsQuotes(std::string_view field) {
  return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

}  // namespace

Workbook ParseCsv(std::string_view bytes) {
  if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
  std::string converted;
  if (!IsValidUtf8(bytes)) {
    converted = GbkToUtf8(bytes);
    bytes = converted;
  }
  Workbook workbook;
  if (bytes.empty()) return workbook;
  Worksheet sheet;
  sheet.name = std::string(kCsvSheetName);
  std::size_t row = 0, column = 0;
  std::string field;
  bool quoted = false;    // inside a quoted field
  bool anyInRow = false;  // the current row has started
  const auto endField = [&] {
    if (!field.empty()) sheet.set(row, column, CellValue::Text(field));
    field.clear();
    ++column;
  };
  const auto endRow = [&] {
    endField();
    ++row;
    column = 0;
    anyInRow = false;
  };
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < bytes.size() && bytes[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
      continue;
    }
    anyInRow = true;
    if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      endField();
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
      endRow();
    } else {
      field += c;
    }
  }
  if (anyInRow || quoted || !field.empty()) endField();
  workbook.sheets.push_back(std::move(sheet));
  return workbook;
}

std::string FormatCsv(const Workbook& workbook) {
  std::string out(kBom);
  if (workbook.sheets.empty()) return out;
  for (const CellRow& row : workbook.sheets.front().rows) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c > 0) out += ',';
      const std::string text = CellText(row[c]);
      if (!NeedsQuotes(text)) {
        out += text;
        continue;
      }
      out += '"';
      for (char ch : text) {
        if (ch == '"') out += '"';
        out += ch;
      }
      out += '"';
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace corvel
