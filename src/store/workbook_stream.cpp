#include "store/workbook_stream.h"

#include <bit>
#include <cstdint>

namespace corvel {
namespace {

constexpr std::string_view kMagic("CVWB\x01", 5);

enum Kind : std::uint8_t { kEmpty = 0, kNumber = 1, kText = 2 };

class Writer {
 public:
  void Bytes(std::string_view bytes) { out_.append(bytes); }
  void U8(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
  void U32(std::uint32_t value) { Unsigned(value, 4); }
  void U64(std::uint64_t value) { Unsigned(value, 8); }
  void Text(std::string_view text) {
    U32(static_cast<std::uint32_t>(text.size()));
    Bytes(text);
  }
  std::string Take() { return std::move(out_); }

 private:
  void Unsigned(std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i)
      out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : in_(bytes) {}

  bool done() const { return in_.empty(); }

  bool Bytes(std::size_t n, std::string_view& out) {
    if (n > in_.size()) return false;
    out = in_.substr(0, n);
    in_.remove_prefix(n);
    return true;
  }
  bool U8(std::uint8_t& value) {
    std::uint64_t wide = 0;
    if (!Unsigned(1, wide)) return false;
    value = static_cast<std::uint8_t>(wide);
    return true;
  }
  bool U32(std::uint32_t& value) {
    std::uint64_t wide = 0;
    if (!Unsigned(4, wide)) return false;
    value = static_cast<std::uint32_t>(wide);
    return true;
  }
  bool U64(std::uint64_t& value) { return Unsigned(8, value); }
  bool Text(std::string& text) {
    std::uint32_t length = 0;
    std::string_view bytes;
    if (!U32(length) || !Bytes(length, bytes)) return false;
    text.assign(bytes);
    return true;
  }
  // A count of items that take at least minSize bytes each must fit in what is left.
  bool Count(std::size_t minSize, std::uint32_t& count) {
    return U32(count) && count <= in_.size() / minSize;
  }

 private:
  bool Unsigned(std::size_t size, std::uint64_t& value) {
    std::string_view bytes;
    if (!Bytes(size, bytes)) return false;
    value = 0;
    for (std::size_t i = 0; i < size; ++i)
      value |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return true;
  }
  std::string_view in_;
};

void EncodeCell(Writer& out, const CellValue& cell) {
  switch (cell.kind) {
    case CellValue::Kind::kEmpty:
      out.U8(kEmpty);
      break;
    case CellValue::Kind::kNumber:
      out.U8(kNumber);
      out.U64(std::bit_cast<std::uint64_t>(cell.number));
      break;
    case CellValue::Kind::kText:
      out.U8(kText);
      out.Text(cell.text);
      break;
  }
}

bool DecodeCell(Reader& in, CellValue& cell) {
  std::uint8_t kind = 0;
  if (!in.U8(kind)) return false;
  switch (kind) {
    case kEmpty:
      cell = {};
      return true;
    case kNumber: {
      std::uint64_t bits = 0;
      if (!in.U64(bits)) return false;
      cell = CellValue::Number(std::bit_cast<double>(bits));
      return true;
    }
    case kText: {
      std::string text;
      if (!in.Text(text)) return false;
      cell = CellValue::Text(std::move(text));
      return true;
    }
    default:
      return false;
  }
}

bool DecodeSheet(Reader& in, Worksheet& sheet) {
  std::uint32_t rows = 0;
  if (!in.Text(sheet.name) || !in.Count(4, rows)) return false;
  // Grown item by item, not sized from the counts, so memory follows what actually arrived.
  for (std::uint32_t r = 0; r < rows; ++r) {
    std::uint32_t cells = 0;
    if (!in.Count(1, cells)) return false;
    CellRow& row = sheet.rows.emplace_back();
    for (std::uint32_t c = 0; c < cells; ++c) {
      if (!DecodeCell(in, row.emplace_back())) return false;
    }
  }
  return true;
}

}  // namespace

std::string EncodeWorkbook(const Workbook& workbook) {
  Writer out;
  out.Bytes(kMagic);
  out.U32(static_cast<std::uint32_t>(workbook.sheets.size()));
  for (const Worksheet& sheet : workbook.sheets) {
    out.Text(sheet.name);
    out.U32(static_cast<std::uint32_t>(sheet.rows.size()));
    for (const CellRow& row : sheet.rows) {
      out.U32(static_cast<std::uint32_t>(row.size()));
      for (const CellValue& cell : row)
        EncodeCell(out, cell);
    }
  }
  return out.Take();
}

std::optional<Workbook> DecodeWorkbook(std::string_view bytes) {
  Reader in(bytes);
  std::string_view magic;
  std::uint32_t sheets = 0;
  // A sheet takes at least its name's length and its row count.
  if (!in.Bytes(kMagic.size(), magic) || magic != kMagic || !in.Count(8, sheets)) {
    return std::nullopt;
  }
  Workbook workbook;
  for (std::uint32_t s = 0; s < sheets; ++s) {
    if (!DecodeSheet(in, workbook.sheets.emplace_back())) return std::nullopt;
  }
  if (!in.done()) return std::nullopt;
  return workbook;
}

}  // namespace corvel
