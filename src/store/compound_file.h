// The OLE2 compound file (version 3, 512-byte sectors) that carries an .xls workbook: one
// stream named "Workbook" under the root storage.
#pragma once

#include <string>
#include <string_view>

namespace corvel {

// The whole file for a single stream. Streams below the 4096-byte mini-stream cutoff are padded
// with zeros to it, so every reader finds the stream in ordinary sectors.
std::string BuildCompoundFile(std::u16string_view streamName, std::string_view stream);

}  // namespace corvel
