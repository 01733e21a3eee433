#include "store/xlsx_reader.h"

#include <zip.h>

#include <cstdlib>
#include <memory>
#include <pugixml.hpp>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvel {
namespace {

constexpr zip_uint64_t kMaxPartSize = 256u << 20;
constexpr std::size_t kMaxRows = 1048576;
constexpr std::size_t kMaxColumns = 16384;

struct ZipCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};

std::optional<std::string> ReadPart(zip_t* archive, const std::string& name) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat(archive, name.c_str(), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) {
    return std::nullopt;
  }
  if (stat.size > kMaxPartSize) return std::nullopt;
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen(archive, name.c_str(), 0));
  if (!file) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(stat.size), '\0');
  zip_int64_t done = 0;
  while (done < static_cast<zip_int64_t>(bytes.size())) {
    const zip_int64_t n = zip_fread(file.get(), bytes.data() + done, bytes.size() - done);
    if (n <= 0) return std::nullopt;
    done += n;
  }
  return bytes;
}

std::optional<pugi::xml_document> ParsePart(zip_t* archive, const std::string& name) {
  const auto bytes = ReadPart(archive, name);
  if (!bytes) return std::nullopt;
  pugi::xml_document document;
  if (!document.load_buffer(bytes->data(), bytes->size())) return std::nullopt;
  return document;
}

// Element names compared without their namespace prefix ("x:row" is "row").
std::string_view Local(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const std::size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view local) {
  for (pugi::xml_node child : node.children()) {
    if (Local(child) == local) return child;
  }
  return {};
}

// The text of a string item: its <t> and the <t> of its runs, not phonetic hints.
std::string ItemText(const pugi::xml_node& item) {
  std::string text;
  for (pugi::xml_node child : item.children()) {
    if (Local(child) == "t") {
      text += child.text().get();
    } else if (Local(child) == "r") {
      text += Child(child, "t").text().get();
    }
  }
  return text;
}

// "BC12" to column 54, row 11; false when it is no cell reference.
bool ParseReference(std::string_view reference, std::size_t& row, std::size_t& column) {
  std::size_t i = 0, c = 0, r = 0;
  for (; i < reference.size() && reference[i] >= 'A' && reference[i] <= 'Z'; ++i) {
    c = c * 26 + static_cast<std::size_t>(reference[i] - 'A' + 1);
    if (c > kMaxColumns) return false;
  }
  if (i == 0 || i == reference.size()) return false;
  for (; i < reference.size(); ++i) {
    if (reference[i] < '0' || reference[i] > '9') return false;
    r = r * 10 + static_cast<std::size_t>(reference[i] - '0');
    if (r > kMaxRows) return false;
  }
  if (r == 0) return false;
  row = r - 1;
  column = c - 1;
  return true;
}

std::string Folder(const std::string& part) {
  const std::size_t slash = part.find_last_of('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// A relationship target resolved against the folder of the part that names it.
std::string Resolve(const std::string& base, std::string target) {
  if (!target.empty() && target[0] == '/') return target.substr(1);
  std::string path = base + target;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = path.find('/', start);
    const std::string piece =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (piece == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!piece.empty() && piece != ".") {
      parts.push_back(piece);
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  std::string resolved;
  for (const std::string& piece : parts)
    resolved += (resolved.empty() ? "" : "/") + piece;
  return resolved;
}

std::optional<CellValue> ReadCell(const pugi::xml_node& cell,
                                  const std::vector<std::string>& shared) {
  const std::string_view type = cell.attribute("t").value();
  const pugi::xml_node value = Child(cell, "v");
  if (type == "inlineStr") return CellValue::Text(ItemText(Child(cell, "is")));
  if (!value) return CellValue{};
  const std::string text = value.text().get();
  if (type == "s") {
    char* end = nullptr;
    const unsigned long long index = std::strtoull(text.c_str(), &end, 10);
    if (end == text.c_str() || index >= shared.size()) return std::nullopt;
    return CellValue::Text(shared[index]);
  }
  if (type == "str") return CellValue::Text(text);
  if (type == "b") return CellValue::Text(text == "1" ? "True" : "False");
  if (type == "e") return CellValue{};
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (end == text.c_str()) return CellValue::Text(text);
  return CellValue::Number(number);
}

std::optional<Worksheet> ReadSheet(const pugi::xml_document& document,
                                   const std::vector<std::string>& shared) {
  Worksheet sheet;
  const pugi::xml_node data = Child(Child(document, "worksheet"), "sheetData");
  std::size_t nextRow = 0;
  for (pugi::xml_node row : data.children()) {
    if (Local(row) != "row") continue;
    std::size_t rowIndex = nextRow;
    if (const char* r = row.attribute("r").value(); *r) {
      const long value = std::strtol(r, nullptr, 10);
      if (value < 1 || static_cast<std::size_t>(value) > kMaxRows) return std::nullopt;
      rowIndex = static_cast<std::size_t>(value - 1);
    }
    nextRow = rowIndex + 1;
    std::size_t nextColumn = 0;
    for (pugi::xml_node cell : row.children()) {
      if (Local(cell) != "c") continue;
      std::size_t r = rowIndex, c = nextColumn;
      if (const char* reference = cell.attribute("r").value(); *reference) {
        if (!ParseReference(reference, r, c)) return std::nullopt;
      }
      if (c >= kMaxColumns) return std::nullopt;
      nextColumn = c + 1;
      auto value = ReadCell(cell, shared);
      if (!value) return std::nullopt;
      if (!value->empty()) sheet.set(r, c, std::move(*value));
    }
  }
  return sheet;
}

}  // namespace

std::optional<Workbook> ReadXlsx(const std::string& path) {
  int error = 0;
  std::unique_ptr<zip_t, ZipCloser> archive(zip_open(path.c_str(), ZIP_RDONLY, &error));
  if (!archive) return std::nullopt;

  // The workbook part is named by the package relationships; xl/workbook.xml by convention.
  std::string workbookPart = "xl/workbook.xml";
  if (auto rels = ParsePart(archive.get(), "_rels/.rels")) {
    for (pugi::xml_node rel : Child(*rels, "Relationships").children()) {
      const std::string_view type = rel.attribute("Type").value();
      if (type.size() >= 15 && type.substr(type.size() - 15) == "/officeDocument") {
        workbookPart = Resolve({}, rel.attribute("Target").value());
      }
    }
  }
  const auto workbookXml = ParsePart(archive.get(), workbookPart);
  if (!workbookXml) return std::nullopt;
  const std::string base = Folder(workbookPart);
  std::unordered_map<std::string, std::string> targets;
  std::string sharedPart = base + "sharedStrings.xml";
  if (auto rels =
          ParsePart(archive.get(), base + "_rels/" + workbookPart.substr(base.size()) + ".rels")) {
    for (pugi::xml_node rel : Child(*rels, "Relationships").children()) {
      const std::string target = Resolve(base, rel.attribute("Target").value());
      targets[rel.attribute("Id").value()] = target;
      const std::string_view type = rel.attribute("Type").value();
      if (type.size() >= 14 && type.substr(type.size() - 14) == "/sharedStrings")
        sharedPart = target;
    }
  }

  std::vector<std::string> shared;
  if (auto sst = ParsePart(archive.get(), sharedPart)) {
    for (pugi::xml_node item : Child(*sst, "sst").children()) {
      if (Local(item) == "si") shared.push_back(ItemText(item));
    }
  }

  Workbook workbook;
  for (pugi::xml_node entry : Child(Child(*workbookXml, "workbook"), "sheets").children()) {
    if (Local(entry) != "sheet") continue;
    std::string id;
    for (pugi::xml_attribute attribute : entry.attributes()) {
      const std::string_view name = attribute.name();
      if (name == "id" || (name.size() > 3 && name.substr(name.size() - 3) == ":id")) {
        id = attribute.value();
      }
    }
    const auto target = targets.find(id);
    if (target == targets.end()) return std::nullopt;
    const auto sheetXml = ParsePart(archive.get(), target->second);
    if (!sheetXml) return std::nullopt;
    auto sheet = ReadSheet(*sheetXml, shared);
    if (!sheet) return std::nullopt;
    sheet->name = entry.attribute("name").value();
    workbook.sheets.push_back(std::move(*sheet));
  }
  if (workbook.sheets.empty()) return std::nullopt;
  return workbook;
}

}  // namespace corvel
