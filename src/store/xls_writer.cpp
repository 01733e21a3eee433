#include "store/xls_writer.h"

#include <cstdint>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "store/compound_file.h"
#include "store/utf16.h"

namespace corvel {
namespace {

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kCellXf = 15;
constexpr std::size_t kMaxSheetNameUnits = 31;

enum Record : std::uint16_t {
  kBof = 0x0809,
  kEof = 0x000A,
  kCodePage = 0x0042,
  kWindow1 = 0x003D,
  kDateMode = 0x0022,
  kFont = 0x0031,
  kXf = 0x00E0,
  kStyle = 0x0293,
  kBoundSheet = 0x0085,
  kSst = 0x00FC,
  kExtSst = 0x00FF,
  kContinue = 0x003C,
  kDimensions = 0x0200,
  kWindow2 = 0x023E,
  kLabelSst = 0x00FD,
  kNumber = 0x0203,
  kInterfaceHdr = 0x00E1,
  kInterfaceEnd = 0x00E2,
  kWriteAccess = 0x005C,
  kTabId = 0x013D,
  kBookBool = 0x00DA,
  kPrecision = 0x000E,
};

class Bytes {
 public:
  Bytes& u8(std::uint8_t v) {
    data_.push_back(static_cast<char>(v));
    return *this;
  }
  Bytes& u16(std::uint16_t v) { return u8(v & 0xFF).u8(v >> 8); }
  Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  Bytes& f64(double v) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    return u32(static_cast<std::uint32_t>(bits)).u32(static_cast<std::uint32_t>(bits >> 32));
  }
  Bytes& zeros(std::size_t n) {
    data_.append(n, '\0');
    return *this;
  }
  // Characters of a string in one width: 1 byte each when compressed, else UTF-16LE.
  Bytes& chars(std::u16string_view text, bool compressed) {
    for (char16_t c : text)
      compressed ? u8(static_cast<std::uint8_t>(c)) : u16(c);
    return *this;
  }
  const std::string& str() const { return data_; }
  std::size_t size() const { return data_.size(); }

 private:
  std::string data_;
};

bool FitsOneByte(std::u16string_view text) {
  for (char16_t c : text) {
    if (c > 0xFF) return false;
  }
  return true;
}

// An empty text is written as a blank cell: FreeXL reads no string at all from a workbook
// whose string table holds an empty one.
bool IsTextCell(const CellValue& cell) {
  return cell.kind == CellValue::Kind::kText && !cell.text.empty();
}

void PutRecord(std::string& stream, std::uint16_t type, const std::string& data) {
  Bytes header;
  header.u16(type).u16(static_cast<std::uint16_t>(data.size()));
  stream += header.str();
  stream += data;
}

// ShortXLUnicodeString: 8-bit length, flags, characters.
Bytes& ShortString(Bytes& out, std::u16string_view text) {
  const bool compressed = FitsOneByte(text);
  return out.u8(static_cast<std::uint8_t>(text.size()))
      .u8(compressed ? 0 : 1)
      .chars(text, compressed);
}

// The shared string table split into SST and CONTINUE records; a string may run on into the
// next record, which then starts again with its flags byte.
class SstBuilder {
 public:
  void Add(std::u16string_view text) {
    // One-byte characters only for a text that ends in this record: FreeXL misreads one-byte
    // texts continued in a CONTINUE record, while two-byte ones read everywhere.
    const bool compressed =
        FitsOneByte(text) && current_.size() + 3 + text.size() <= kMaxRecordData;
    const std::size_t width = compressed ? 1 : 2;
    // The length and flags never split from the first character. A text that would reach a
    // third record but fits in two starts a record of its own, so FreeXL can read it.
    const std::size_t bytes = 3 + text.size() * width;
    const std::size_t room = kMaxRecordData - current_.size();
    if (current_.size() + 3 + (text.empty() ? 0 : width) > kMaxRecordData ||
        (bytes > room + kMaxRecordData - 1 && bytes <= 2 * kMaxRecordData - 2)) {
      Flush();
    }
    if (strings_ % bucketSize_ == 0) {
      buckets_.push_back({stream_.size() + current_.size() + 4, current_.size() + 4});
    }
    ++strings_;
    Bytes head;
    head.u16(static_cast<std::uint16_t>(text.size())).u8(compressed ? 0 : 1);
    current_ += head.str();
    std::size_t done = 0;
    while (done < text.size()) {
      const std::size_t fitting = (kMaxRecordData - current_.size()) / width;
      if (fitting == 0) {
        Flush();
        current_.push_back(static_cast<char>(compressed ? 0 : 1));
        continue;
      }
      const std::size_t n = std::min(fitting, text.size() - done);
      Bytes part;
      part.chars(text.substr(done, n), compressed);
      current_ += part.str();
      done += n;
    }
  }

  // SST and CONTINUE records, then EXTSST, positioned as if the SST starts at streamOffset.
  std::string Finish(std::uint32_t totalCells, std::uint32_t uniqueCount,
                     std::size_t streamOffset) {
    Bytes counts;
    counts.u32(totalCells).u32(uniqueCount);
    std::string out;
    // The counts belong at the front of the first record; the builder reserved room for them.
    Flush();
    for (std::size_t i = 0; i < records_.size(); ++i) {
      std::string data = records_[i];
      if (i == 0) data.replace(0, 8, counts.str());
      PutRecord(out, i == 0 ? kSst : kContinue, data);
    }
    Bytes ext;
    ext.u16(static_cast<std::uint16_t>(bucketSize_));
    for (const Bucket& bucket : buckets_) {
      ext.u32(static_cast<std::uint32_t>(streamOffset + bucket.position))
          .u16(static_cast<std::uint16_t>(bucket.offsetInRecord))
          .u16(0);
    }
    PutRecord(out, kExtSst, ext.str());
    return out;
  }

  explicit SstBuilder(std::size_t uniqueCount)
      : bucketSize_(std::max<std::size_t>(8, uniqueCount / 128 + 1)) {
    current_.assign(8, '\0');  // total and unique counts
  }

 private:
  struct Bucket {
    std::size_t position;        // from the start of the SST record's header
    std::size_t offsetInRecord;  // from the start of the containing record's header
  };

  void Flush() {
    stream_.append(4 + current_.size(), '\0');  // only its length matters for positions
    records_.push_back(std::move(current_));
    current_.clear();
  }

  std::size_t bucketSize_;
  std::size_t strings_ = 0;
  std::string stream_;
  std::string current_;
  std::vector<std::string> records_;
  std::vector<Bucket> buckets_;
};

// Excel refuses these characters in sheet names and names longer than 31 units.
std::u16string CleanSheetName(const std::string& name, std::size_t index) {
  std::u16string text = Utf8ToUtf16(name);
  for (char16_t& c : text) {
    if (c == u'[' || c == u']' || c == u':' || c == u'*' || c == u'?' || c == u'/' || c == u'\\')
      c = u'_';
  }
  text = std::u16string(CutUtf16(text, kMaxSheetNameUnits));
  if (text.empty()) text = Utf8ToUtf16("Sheet" + std::to_string(index + 1));
  return text;
}

std::string Globals(const std::vector<std::u16string>& names,
                    const std::vector<std::uint32_t>& sheetOffsets, const std::string& sst) {
  std::string out;
  PutRecord(out, kBof, Bytes().u16(0x0600).u16(0x0005).u16(0x0DBB).u16(0x07CC).u32(0).u32(6).str());
  PutRecord(out, kInterfaceHdr, Bytes().u16(0x04B0).str());
  PutRecord(out, kInterfaceEnd, {});
  {
    Bytes access;
    access.u16(6).u8(0).chars(u"Corvel", true);
    while (access.size() < 112)
      access.u8(' ');
    PutRecord(out, kWriteAccess, access.str());
  }
  PutRecord(out, kCodePage, Bytes().u16(0x04B0).str());
  {
    Bytes tabs;
    for (std::size_t i = 0; i < names.size(); ++i)
      tabs.u16(static_cast<std::uint16_t>(i + 1));
    PutRecord(out, kTabId, tabs.str());
  }
  PutRecord(out, kWindow1,
            Bytes()
                .u16(0)
                .u16(0)
                .u16(0x4000)
                .u16(0x2000)
                .u16(0x0038)
                .u16(0)
                .u16(0)
                .u16(1)
                .u16(0x0258)
                .str());
  PutRecord(out, kDateMode, Bytes().u16(0).str());
  PutRecord(out, kPrecision, Bytes().u16(1).str());
  PutRecord(out, kBookBool, Bytes().u16(0).str());
  for (int i = 0; i < 4; ++i) {
    Bytes font;
    font.u16(200).u16(0).u16(0x7FFF).u16(400).u16(0).u8(0).u8(0).u8(1).u8(0);
    ShortString(font, u"Arial");
    PutRecord(out, kFont, font.str());
  }
  for (int i = 0; i < 16; ++i) {
    const bool style = i < 15;
    Bytes xf;
    xf.u16(0)
        .u16(0)
        .u16(style ? 0xFFF5 : 0x0001)
        .u8(0x20)
        .u8(0)
        .u8(0)
        .u8(style && i > 0 ? 0xF4 : 0x00)
        .u32(0)
        .u32(0)
        .u16(0x20C0);
    PutRecord(out, kXf, xf.str());
  }
  PutRecord(out, kStyle, Bytes().u16(0x8000).u8(0).u8(0xFF).str());
  for (std::size_t i = 0; i < names.size(); ++i) {
    Bytes sheet;
    sheet.u32(sheetOffsets[i]).u8(0).u8(0);
    ShortString(sheet, names[i]);
    PutRecord(out, kBoundSheet, sheet.str());
  }
  out += sst;
  PutRecord(out, kEof, {});
  return out;
}

}  // namespace

std::optional<std::string> BuildXls(const Workbook& input) {
  Workbook workbook = input;
  if (workbook.sheets.empty()) workbook.sheets.push_back({"sheet1", {}});

  std::vector<std::u16string> names;
  std::unordered_map<std::string, std::uint32_t> index;
  std::vector<std::u16string> unique;
  std::uint32_t totalCells = 0;
  for (std::size_t s = 0; s < workbook.sheets.size(); ++s) {
    const Worksheet& sheet = workbook.sheets[s];
    names.push_back(CleanSheetName(sheet.name, s));
    if (sheet.rows.size() > kXlsMaxRows) return std::nullopt;
    for (const CellRow& row : sheet.rows) {
      if (row.size() > kXlsMaxColumns) return std::nullopt;
      for (const CellValue& cell : row) {
        if (!IsTextCell(cell)) continue;
        ++totalCells;
        if (index.count(cell.text)) continue;
        std::u16string text = Utf8ToUtf16(cell.text);
        if (text.size() > kXlsMaxTextUnits) return std::nullopt;
        index.emplace(cell.text, static_cast<std::uint32_t>(unique.size()));
        unique.push_back(std::move(text));
      }
    }
  }

  // Sheet streams first, so the globals can name where each begins.
  std::vector<std::string> sheetStreams;
  for (std::size_t s = 0; s < workbook.sheets.size(); ++s) {
    const Worksheet& sheet = workbook.sheets[s];
    std::string out;
    PutRecord(out, kBof,
              Bytes().u16(0x0600).u16(0x0010).u16(0x0DBB).u16(0x07CC).u32(0).u32(6).str());
    std::size_t lastRow = 0, lastColumn = 0;
    bool any = false;
    for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
      for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
        if (!IsTextCell(sheet.rows[r][c]) && sheet.rows[r][c].kind != CellValue::Kind::kNumber)
          continue;
        any = true;
        lastRow = std::max(lastRow, r);
        lastColumn = std::max(lastColumn, c);
      }
    }
    PutRecord(out, kDimensions,
              Bytes()
                  .u32(0)
                  .u32(any ? static_cast<std::uint32_t>(lastRow + 1) : 0)
                  .u16(0)
                  .u16(any ? static_cast<std::uint16_t>(lastColumn + 1) : 0)
                  .u16(0)
                  .str());
    for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
      for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
        const CellValue& cell = sheet.rows[r][c];
        Bytes record;
        record.u16(static_cast<std::uint16_t>(r)).u16(static_cast<std::uint16_t>(c)).u16(kCellXf);
        if (IsTextCell(cell)) {
          PutRecord(out, kLabelSst, record.u32(index.at(cell.text)).str());
        } else if (cell.kind == CellValue::Kind::kNumber) {
          PutRecord(out, kNumber, record.f64(cell.number).str());
        }
      }
    }
    PutRecord(
        out, kWindow2,
        Bytes().u16(s == 0 ? 0x06B6 : 0x00B6).u16(0).u16(0).u32(0x40).u16(0).u16(0).u32(0).str());
    PutRecord(out, kEof, {});
    sheetStreams.push_back(std::move(out));
  }

  // The globals' size does not depend on the offsets it holds: build once to measure.
  std::vector<std::uint32_t> offsets(names.size(), 0);
  const std::string globalsWithoutSst = Globals(names, offsets, {});
  const std::size_t sstOffset = globalsWithoutSst.size() - 4;  // the SST goes before EOF
  SstBuilder sst(unique.size());
  for (const std::u16string& text : unique)
    sst.Add(text);
  const std::string sstRecords =
      sst.Finish(totalCells, static_cast<std::uint32_t>(unique.size()), sstOffset);
  std::size_t position = globalsWithoutSst.size() + sstRecords.size();
  for (std::size_t s = 0; s < sheetStreams.size(); ++s) {
    offsets[s] = static_cast<std::uint32_t>(position);
    position += sheetStreams[s].size();
  }
  std::string stream = Globals(names, offsets, sstRecords);
  for (const std::string& sheet : sheetStreams)
    stream += sheet;
  return BuildCompoundFile(u"Workbook", stream);
}

}  // namespace corvel
