// Reads INI-style profile files the way the Windows profile-string calls do, so configuration
// files written for the Windows client read the same here.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvel {

// The value of key in section, or defaultValue when the file, the section or the key is missing.
// Section and key names compare case-insensitively; the value is trimmed and one pair of
// matching surrounding quotes is removed; lines starting with ';' are comments. Like the
// platform call with a buffer of bufferSize characters, the result holds at most bufferSize - 1
// bytes (GBK widths), cut at a character boundary. A file that is not UTF-8 is read as GBK.
// The file is read on every call: nothing is cached, so edits take effect at once.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue,
                              std::size_t bufferSize);

// The value's leading decimal number (an optional sign, then digits; none gives 0), or
// defaultValue when the key is missing or its value is empty.
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int defaultValue);

// The leading decimal number of text: optional spaces, an optional sign, digits; 0 when there
// are none. Values beyond the int range are clamped.
int LeadingDecimal(std::string_view text);

}  // namespace corvel
