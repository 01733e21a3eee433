// The workbook stream between the .xls reading process and the client: what goes in comes out,
// and anything but one whole, well-formed stream is refused.
#include "store/workbook_stream.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace corvel {
namespace {

Workbook Varied() {
  Workbook workbook;
  Worksheet first{"sheet1", {}};
  first.set(0, 0, CellValue::Text("电话号码"));
  first.set(0, 3, CellValue::Text("其他"));  // empty cells between
  first.set(2, 1, CellValue::Number(13800138000));
  first.set(3, 0, CellValue::Number(-0.0));
  first.set(3, 1, CellValue::Number(std::numeric_limits<double>::infinity()));
  first.set(3, 2, CellValue::Number(std::numeric_limits<double>::denorm_min()));
  first.set(4, 0, CellValue::Text(std::string("nul\0inside", 10)));
  first.set(4, 1, CellValue::Text(std::string(70000, 'x')));
  first.set(4, 2, CellValue::Text(""));
  workbook.sheets.push_back(first);
  workbook.sheets.push_back(Worksheet{"", {}});                // no name, no rows
  workbook.sheets.push_back(Worksheet{"空行", {{}, {}, {}}});  // rows without cells
  return workbook;
}

TEST(WorkbookStream, WhatGoesInComesOut) {
  for (const Workbook& workbook : {Workbook{}, Varied()}) {
    const auto decoded = DecodeWorkbook(EncodeWorkbook(workbook));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(*decoded, workbook);
  }
  // Numbers travel bit for bit, not-a-number and the sign of zero included.
  Workbook odd{{Worksheet{"n", {}}}};
  odd.sheets[0].set(0, 0, CellValue::Number(std::nan("0x1234")));
  odd.sheets[0].set(0, 1, CellValue::Number(-0.0));
  const auto decoded = DecodeWorkbook(EncodeWorkbook(odd));
  ASSERT_TRUE(decoded);
  for (std::size_t c = 0; c < 2; ++c) {
    EXPECT_EQ(decoded->sheets[0].at(0, c).kind, CellValue::Kind::kNumber);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(decoded->sheets[0].at(0, c).number),
              std::bit_cast<std::uint64_t>(odd.sheets[0].at(0, c).number));
  }
}

TEST(WorkbookStream, EveryCutShortStreamIsRefused) {
  Workbook small{{Worksheet{"表", {}}, Worksheet{"b", {}}}};
  small.sheets[0].set(1, 2, CellValue::Text("张三"));
  small.sheets[0].set(2, 0, CellValue::Number(2.5));
  small.sheets[1].set(0, 0, CellValue::Text("y"));
  const std::string stream = EncodeWorkbook(small);
  ASSERT_TRUE(DecodeWorkbook(stream));
  for (std::size_t n = 0; n < stream.size(); ++n)
    EXPECT_FALSE(DecodeWorkbook(std::string_view(stream).substr(0, n))) << n << " bytes";
  EXPECT_FALSE(DecodeWorkbook(stream + '\0')) << "a byte after the last sheet";
}

TEST(WorkbookStream, MalformedStreamsAreRefused) {
  const std::string good = EncodeWorkbook(Varied());
  std::string otherMagic = good;
  otherMagic[0] = 'X';
  EXPECT_FALSE(DecodeWorkbook(otherMagic));
  std::string otherVersion = good;
  otherVersion[4] = '\x02';
  EXPECT_FALSE(DecodeWorkbook(otherVersion));

  // One sheet "s", one row, one cell of an unknown kind.
  const std::string header("CVWB\x01\x01\0\0\0\x01\0\0\0s\x01\0\0\0\x01\0\0\0", 22);
  EXPECT_TRUE(DecodeWorkbook(header + '\x00'));
  EXPECT_FALSE(DecodeWorkbook(header + '\x03'));
  EXPECT_FALSE(DecodeWorkbook(header + '\xff'));
  EXPECT_FALSE(DecodeWorkbook("")) << "no answer is no workbook";
  EXPECT_FALSE(DecodeWorkbook("not a workbook stream at all"));
}

TEST(WorkbookStream, HugeCountsInFewBytesAreRefusedAtOnce) {
  // Counts far beyond what the bytes could hold would otherwise take gigabytes to follow.
  EXPECT_FALSE(DecodeWorkbook(std::string("CVWB\x01\xff\xff\xff\xff", 9)));
  EXPECT_FALSE(DecodeWorkbook(std::string("CVWB\x01\x01\0\0\0\0\0\0\0\xff\xff\xff\xff", 17)));
  EXPECT_FALSE(
      DecodeWorkbook(std::string("CVWB\x01\x01\0\0\0\0\0\0\0\x01\0\0\0\xff\xff\xff\xff", 21)));
  EXPECT_FALSE(DecodeWorkbook(
      std::string("CVWB\x01\x01\0\0\0\0\0\0\0\x01\0\0\0\x01\0\0\0\x02\xff\xff\xff\x7f", 26)));
}

}  // namespace
}  // namespace corvel
