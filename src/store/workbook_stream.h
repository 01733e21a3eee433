// A workbook as a byte stream, for handing it from the separate .xls reading process to the
// client over a pipe. Little-endian and length-prefixed throughout:
//
//   "CVWB" u8(1)                               magic and version
//   u32 sheets, then per sheet:
//     u32 length, name bytes
//     u32 rows, then per row: u32 cells, then per cell:
//       u8 0                                   empty
//       u8 1, u64 bits of the IEEE double      number
//       u8 2, u32 length, text bytes           text
//
// Nothing may follow the last sheet.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "store/workbook.h"

namespace corvel {

std::string EncodeWorkbook(const Workbook& workbook);

// None unless bytes is exactly one well-formed stream. Counts are checked against the bytes
// left and nothing is sized from them, so hostile input only costs memory for what it holds.
std::optional<Workbook> DecodeWorkbook(std::string_view bytes);

}  // namespace corvel
